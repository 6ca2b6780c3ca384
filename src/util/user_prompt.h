#pragma once
// The few things core code may ask of the person at the screen: a message box, an input box and a
// chance for pending user-interface events to run. The desktop program implements this with its
// toolkit, the command-line program with the terminal, tests with RecordingPrompt.

#include <optional>
#include <string>

namespace luma {

// The program's title, used as the caption of plain messages.
inline constexpr const char* kApplicationTitle = "Tessera Lumatrans";

enum class TMsgIcon { None, Information, Warning, Error, Question };

enum class TMsgButtons { OK, OKCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };

// Values follow the classic dialog result numbering (OK = 1 ... No = 7).
enum class TMsgResult { None = 0, OK = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

class TUserPrompt {
public:
    virtual ~TUserPrompt() = default;

    // Shows a modal message and returns the button chosen. A box closed without a choice returns
    // Cancel when Cancel is one of the buttons, else No for Yes/No, else OK.
    virtual TMsgResult MessageBox(const std::string& caption, const std::string& text, TMsgIcon icon,
                                  TMsgButtons buttons) = 0;

    // Asks for one line of text, starting from initial; nullopt when the user cancels.
    virtual std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                                const std::string& initial) = 0;

    // Lets pending user-interface events run (repaints, a click on Cancel).
    virtual void ProcessMessages() = 0;

    // A plain message with the program's title and an OK button.
    void ShowMessage(const std::string& text) {
        MessageBox(kApplicationTitle, text, TMsgIcon::None, TMsgButtons::OK);
    }
};

// The result a box gives when it is dismissed without choosing (Escape, closing the window, end of input).
TMsgResult DismissResult(TMsgButtons buttons);

}  // namespace luma
