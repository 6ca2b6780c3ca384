#include "util/terminal_prompt.h"

#include <istream>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace luma {

namespace {

const char* IconLabel(TMsgIcon icon) {
    switch (icon) {
    case TMsgIcon::Information:
        return "Information";
    case TMsgIcon::Warning:
        return "Warning";
    case TMsgIcon::Error:
        return "Error";
    case TMsgIcon::Question:
        return "Question";
    case TMsgIcon::None:
        break;
    }
    return nullptr;
}

// The buttons of a box, each with the label shown and the letter that chooses it.
std::vector<std::pair<TMsgResult, std::string>> Choices(TMsgButtons buttons) {
    using R = TMsgResult;
    switch (buttons) {
    case TMsgButtons::OK:
        return {{R::OK, "[O]K"}};
    case TMsgButtons::OKCancel:
        return {{R::OK, "[O]K"}, {R::Cancel, "[C]ancel"}};
    case TMsgButtons::YesNo:
        return {{R::Yes, "[Y]es"}, {R::No, "[N]o"}};
    case TMsgButtons::YesNoCancel:
        return {{R::Yes, "[Y]es"}, {R::No, "[N]o"}, {R::Cancel, "[C]ancel"}};
    case TMsgButtons::RetryCancel:
        return {{R::Retry, "[R]etry"}, {R::Cancel, "[C]ancel"}};
    case TMsgButtons::AbortRetryIgnore:
        return {{R::Abort, "[A]bort"}, {R::Retry, "[R]etry"}, {R::Ignore, "[I]gnore"}};
    }
    return {{R::OK, "[O]K"}};
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

TTerminalPrompt::TTerminalPrompt(std::istream& in, std::ostream& out, bool interactive)
    : in_(in), out_(out), interactive_(interactive) {}

TMsgResult TTerminalPrompt::MessageBox(const std::string& caption, const std::string& text, TMsgIcon icon,
                                       TMsgButtons buttons) {
    out_ << caption;
    if (const char* label = IconLabel(icon)) out_ << " (" << label << ")";
    out_ << ":\n" << text << "\n";
    if (!interactive_ || buttons == TMsgButtons::OK) {
        out_.flush();
        return DismissResult(buttons);
    }
    const auto choices = Choices(buttons);
    for (;;) {
        for (std::size_t i = 0; i < choices.size(); ++i) out_ << (i ? "/" : "") << choices[i].second;
        out_ << "? " << std::flush;
        std::string line;
        if (!std::getline(in_, line)) {
            out_ << "\n";
            return DismissResult(buttons);
        }
        const std::size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos) return choices.front().first;
        for (const auto& [result, label] : choices)
            if (Lower(line[first]) == Lower(label[1])) return result;
    }
}

std::optional<std::string> TTerminalPrompt::InputBox(const std::string& caption, const std::string& prompt,
                                                     const std::string& initial) {
    if (!interactive_) return initial;
    out_ << caption << ":\n" << prompt;
    if (!initial.empty()) out_ << " [" << initial << "]";
    out_ << " " << std::flush;
    std::string line;
    if (!std::getline(in_, line)) {
        out_ << "\n";
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line.empty() ? initial : line;
}

}  // namespace luma
