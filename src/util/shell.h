#pragma once
// Opening a file or folder with the program the desktop associates with it, with the classic
// numeric result codes (greater than 32 on success) and one readable message per failure code.
//
// The opener runs detached (its own session, no terminal, never waited for), so only what can be
// known before it starts is reported: a missing file (2), a missing folder on the way (3), access
// denied (5), no program registered for the file's type (31), and a failure to start the opener.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace luma {

class TUserPrompt;

// How the opened program's window should appear (classic numbering; the desktop decides in the end).
enum class TShowCommand : int32_t { Hide = 0, Normal = 1, Minimized = 2, Maximized = 3, NoActivate = 4 };

// The result an open request gives when the program was started.
inline constexpr int32_t kShellOpenStarted = 42;

// The two steps the opener is made of; tests replace them so that no real window opens.
struct TShellLauncher {
    // Whether some program is registered to open this existing absolute path.
    std::function<bool(const std::string& path)> hasHandler;
    // Starts argv detached with workDir as its current folder ("" = ours); returns 0 or an errno value.
    std::function<int(const std::vector<std::string>& argv, const std::string& workDir)> start;
    // The opener command put before the path.
    std::vector<std::string> openCommand;
};

// The desktop's own opener: xdg-open to open, xdg-mime to find the registered program. The command
// names can be replaced (e.g. by stand-in scripts in tests).
TShellLauncher XdgShellLauncher(const std::string& openCommand = "xdg-open",
                                const std::string& mimeCommand = "xdg-mime");

// The launcher used when none is passed; XdgShellLauncher() until replaced. Test programs replace it
// once at start so that nothing they run opens a real window.
const TShellLauncher& DefaultShellLauncher();
void SetDefaultShellLauncher(TShellLauncher launcher);

// Opens file (parameters are not passed on: the desktop opener takes only the path). A relative file
// is taken relative to folder when one is given. A text of 256 characters or more shows the
// "path too long" information message and returns 2.
int32_t ShellOpenFile(const std::string& file, const std::string& parameters, const std::string& folder,
                      TShowCommand showCommand, TUserPrompt& prompt,
                      const TShellLauncher& launcher = DefaultShellLauncher());

// Opens file without activating its window; a result of 32 or less shows the "Error" warning
// "Unable to execute file:" with the code's message. Returns the result code.
int32_t ShellOpen(const std::string& file, TUserPrompt& prompt,
                  const TShellLauncher& launcher = DefaultShellLauncher());

// The message for a failure code (0..32), as ShellOpen shows it after "Unable to execute file:".
std::string ShellErrorText(int32_t code);

// The information message for a path of 256 characters or more.
inline constexpr const char* kPathTooLongText =
    "The path to the file is too long, please ensure the path is less than 255 characters.";

}  // namespace luma
