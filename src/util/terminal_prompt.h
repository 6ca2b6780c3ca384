#pragma once
// The user prompt of the command-line program: messages go to a text stream, answers come from
// another. When not interactive every box takes its dismiss answer and every input box its initial
// text, so scripted runs never wait for input.

#include <iosfwd>

#include "util/user_prompt.h"

namespace luma {

class TTerminalPrompt : public TUserPrompt {
public:
    TTerminalPrompt(std::istream& in, std::ostream& out, bool interactive);

    TMsgResult MessageBox(const std::string& caption, const std::string& text, TMsgIcon icon,
                          TMsgButtons buttons) override;
    std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& initial) override;
    void ProcessMessages() override {}

private:
    std::istream& in_;
    std::ostream& out_;
    bool interactive_;
};

}  // namespace luma
