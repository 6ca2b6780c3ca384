#include <gtest/gtest.h>

#include <sstream>

#include "util/recording_prompt.h"
#include "util/terminal_prompt.h"

namespace luma {
namespace {

TEST(TerminalPrompt, InteractiveAnswers) {
    struct Case {
        TMsgButtons buttons;
        const char* input;
        TMsgResult expected;
    };
    const Case cases[] = {
        {TMsgButtons::YesNo, "n\n", TMsgResult::No},
        {TMsgButtons::YesNo, "maybe\nY\n", TMsgResult::Yes},  // asks again until a button is named
        {TMsgButtons::YesNo, "\n", TMsgResult::Yes},          // empty line takes the first button
        {TMsgButtons::YesNo, "", TMsgResult::No},             // end of input dismisses
        {TMsgButtons::YesNoCancel, "", TMsgResult::Cancel},
        {TMsgButtons::OKCancel, "c\n", TMsgResult::Cancel},
        {TMsgButtons::OK, "", TMsgResult::OK},
        {TMsgButtons::AbortRetryIgnore, "i\n", TMsgResult::Ignore},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.input);
        std::ostringstream out;
        TTerminalPrompt prompt(in, out, true);
        EXPECT_EQ(prompt.MessageBox("Confirm Reset", "Reset?", TMsgIcon::Question, c.buttons), c.expected) << c.input;
        EXPECT_EQ(out.str().rfind("Confirm Reset (Question):\nReset?\n", 0), 0u) << out.str();
    }
}

TEST(TerminalPrompt, NonInteractiveNeverReads) {
    std::istringstream in("y\nname\n");
    std::ostringstream out;
    TTerminalPrompt prompt(in, out, false);
    EXPECT_EQ(prompt.MessageBox("C", "T", TMsgIcon::Warning, TMsgButtons::YesNo), TMsgResult::No);
    EXPECT_EQ(prompt.InputBox("Filename prefix", "Name:", "Batch"), "Batch");
    EXPECT_EQ(in.tellg(), 0);
    EXPECT_EQ(out.str(), "C (Warning):\nT\n");
}

TEST(TerminalPrompt, InputBox) {
    struct Case {
        const char* input;
        std::optional<std::string> expected;
    };
    const Case cases[] = {{"holiday\n", "holiday"}, {"\n", "initial"}, {"crlf\r\n", "crlf"}, {"", std::nullopt}};
    for (const Case& c : cases) {
        std::istringstream in(c.input);
        std::ostringstream out;
        TTerminalPrompt prompt(in, out, true);
        EXPECT_EQ(prompt.InputBox("Caption", "Prompt", "initial"), c.expected) << c.input;
    }
}

TEST(RecordingPrompt, RecordsAndAnswersInOrder) {
    TRecordingPrompt prompt;
    prompt.messageAnswers = {TMsgResult::No};
    prompt.inputAnswers = {std::nullopt};
    int pumped = 0;
    prompt.onProcessMessages = [&] { ++pumped; };
    EXPECT_EQ(prompt.MessageBox("A", "first", TMsgIcon::Question, TMsgButtons::YesNo), TMsgResult::No);
    EXPECT_EQ(prompt.MessageBox("B", "second", TMsgIcon::Question, TMsgButtons::YesNo), TMsgResult::Yes);
    prompt.ShowMessage("third");
    EXPECT_EQ(prompt.InputBox("C", "P", "init"), std::nullopt);
    EXPECT_EQ(prompt.InputBox("C", "P", "init"), "init");
    prompt.ProcessMessages();
    EXPECT_EQ(prompt.Texts(), (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_EQ(prompt.messages[2].caption, "Tessera Lumatrans");
    EXPECT_EQ(prompt.inputs.size(), 2u);
    EXPECT_EQ(prompt.processMessagesCalls, 1);
    EXPECT_EQ(pumped, 1);
}

}  // namespace
}  // namespace luma
