#pragma once
// A user prompt for tests: records every message, input request and event pump, and answers from
// queues the test fills beforehand.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "util/user_prompt.h"

namespace luma {

class TRecordingPrompt : public TUserPrompt {
public:
    struct TMessage {
        std::string caption;
        std::string text;
        TMsgIcon icon = TMsgIcon::None;
        TMsgButtons buttons = TMsgButtons::OK;
        bool operator==(const TMessage&) const = default;
    };
    struct TInput {
        std::string caption;
        std::string prompt;
        std::string initial;
        bool operator==(const TInput&) const = default;
    };

    // What was asked, in order.
    std::vector<TMessage> messages;
    std::vector<TInput> inputs;
    int processMessagesCalls = 0;

    // Answers, taken from the front. With no answer queued a message box returns its first button
    // (OK, Yes, Retry or Abort) and an input box returns its initial text.
    std::deque<TMsgResult> messageAnswers;
    std::deque<std::optional<std::string>> inputAnswers;

    // Called on every ProcessMessages, e.g. to press a Cancel button in the middle of long work.
    std::function<void()> onProcessMessages;

    TMsgResult MessageBox(const std::string& caption, const std::string& text, TMsgIcon icon,
                          TMsgButtons buttons) override;
    std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& initial) override;
    void ProcessMessages() override;

    // The texts of all messages, in order (handy for one-line expectations).
    std::vector<std::string> Texts() const;
};

}  // namespace luma
