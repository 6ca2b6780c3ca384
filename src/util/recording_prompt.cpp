#include "util/recording_prompt.h"

namespace luma {

namespace {

TMsgResult FirstButton(TMsgButtons buttons) {
    switch (buttons) {
    case TMsgButtons::OK:
    case TMsgButtons::OKCancel:
        return TMsgResult::OK;
    case TMsgButtons::YesNo:
    case TMsgButtons::YesNoCancel:
        return TMsgResult::Yes;
    case TMsgButtons::RetryCancel:
        return TMsgResult::Retry;
    case TMsgButtons::AbortRetryIgnore:
        return TMsgResult::Abort;
    }
    return TMsgResult::OK;
}

}  // namespace

TMsgResult TRecordingPrompt::MessageBox(const std::string& caption, const std::string& text, TMsgIcon icon,
                                        TMsgButtons buttons) {
    messages.push_back({caption, text, icon, buttons});
    if (messageAnswers.empty()) return FirstButton(buttons);
    const TMsgResult answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

std::optional<std::string> TRecordingPrompt::InputBox(const std::string& caption, const std::string& prompt,
                                                      const std::string& initial) {
    inputs.push_back({caption, prompt, initial});
    if (inputAnswers.empty()) return initial;
    std::optional<std::string> answer = std::move(inputAnswers.front());
    inputAnswers.pop_front();
    return answer;
}

void TRecordingPrompt::ProcessMessages() {
    ++processMessagesCalls;
    if (onProcessMessages) onProcessMessages();
}

std::vector<std::string> TRecordingPrompt::Texts() const {
    std::vector<std::string> texts;
    texts.reserve(messages.size());
    for (const TMessage& m : messages) texts.push_back(m.text);
    return texts;
}

}  // namespace luma
