#include "util/shell.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <utility>

#include "util/user_prompt.h"

extern char** environ;

namespace fs = std::filesystem;

namespace luma {

namespace {

std::vector<char*> ArgvPointers(const std::vector<std::string>& argv) {
    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (const std::string& arg : argv) pointers.push_back(const_cast<char*>(arg.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

class TFd {
public:
    explicit TFd(int fd = -1) : fd_(fd) {}
    ~TFd() { Close(); }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// Runs argv to completion and collects its standard output; nullopt when it cannot be started.
std::optional<std::string> RunCapture(const std::vector<std::string>& argv, int& exitStatus) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
    TFd readEnd(fds[0]);
    TFd writeEnd(fds[1]);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args = ArgvPointers(argv);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.Close();
    if (rc != 0) return std::nullopt;

    std::string output;
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t n = ::read(readEnd.Get(), buffer.data(), buffer.size());
        if (n > 0) {
            // A well-behaved query prints one short line; ignore anything beyond a sane size.
            if (output.size() < 65536) output.append(buffer.data(), static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (exitStatus == 127) return std::nullopt;  // the command itself was not found
    return output;
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool XdgHasHandler(const std::string& mimeCommand, const std::string& path) {
    std::string type;
    struct stat st {};
    int status = 0;
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        type = "inode/directory";
    } else {
        const auto out = RunCapture({mimeCommand, "query", "filetype", path}, status);
        if (!out) return true;  // cannot tell: let the opener try
        type = Trimmed(*out);
        if (const std::size_t semicolon = type.find(';'); semicolon != std::string::npos)
            type = Trimmed(type.substr(0, semicolon));  // "text/plain; charset=..."
        if (type.empty()) return true;
    }
    const auto handler = RunCapture({mimeCommand, "query", "default", type}, status);
    if (!handler) return true;
    return !Trimmed(*handler).empty();
}

// Starts argv in a session of its own and does not wait for it: a first child forks the opener and
// exits at once, so the opener is never our child and never left a zombie. A failed exec sends its
// errno back through a close-on-exec pipe; a successful exec closes the pipe with nothing written.
int StartDetached(const std::vector<std::string>& argv, const std::string& workDir) {
    if (argv.empty()) return ENOENT;
    std::vector<char*> args = ArgvPointers(argv);
    const char* dir = workDir.empty() ? nullptr : workDir.c_str();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
    TFd readEnd(fds[0]);
    TFd writeEnd(fds[1]);

    const pid_t child = ::fork();
    if (child < 0) return errno;
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
        int err = 0;
        if (dir && ::chdir(dir) != 0) err = errno;
        if (err == 0) {
            const int devNull = ::open("/dev/null", O_RDWR);
            if (devNull >= 0) {
                ::dup2(devNull, 0);
                ::dup2(devNull, 1);
                ::dup2(devNull, 2);
                if (devNull > 2) ::close(devNull);
            }
            ::execvp(args[0], args.data());
            err = errno;
        }
        [[maybe_unused]] const ssize_t written = ::write(fds[1], &err, sizeof err);
        ::_exit(127);
    }
    writeEnd.Close();
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return EAGAIN;  // the second fork failed
    int err = 0;
    ssize_t n = 0;
    do {
        n = ::read(readEnd.Get(), &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof err) ? err : 0;
}

int32_t CodeForStartError(int err) {
    switch (err) {
    case 0:
        return kShellOpenStarted;
    case ENOENT:
        return 31;  // no opener installed: nothing can open the file
    case EACCES:
    case EPERM:
        return 5;
    case ENOMEM:
    case E2BIG:
        return 8;
    case ENOEXEC:
        return 11;
    case ETXTBSY:
        return 26;
    default:
        return 0;
    }
}

bool LooksLikeUrl(const std::string& text) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos || colon < 2) return false;
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = text[i];
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok) return false;
    }
    return text.compare(colon, 3, "://") == 0 || text.compare(0, colon, "mailto") == 0;
}

// The code for a path that cannot be opened as it stands, or 0 when it exists.
int32_t MissingPathCode(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return 0;
    switch (errno) {
    case EACCES:
        return 5;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return 3;
    case ENOENT: {
        const std::string parent = fs::path(path).parent_path().string();
        struct stat parentStat {};
        if (parent.empty() || (::stat(parent.c_str(), &parentStat) == 0 && S_ISDIR(parentStat.st_mode)))
            return 2;
        return 3;
    }
    default:
        return 2;
    }
}

TShellLauncher& DefaultLauncherSlot() {
    static TShellLauncher launcher = XdgShellLauncher();
    return launcher;
}

}  // namespace

TShellLauncher XdgShellLauncher(const std::string& openCommand, const std::string& mimeCommand) {
    TShellLauncher launcher;
    launcher.hasHandler = [mimeCommand](const std::string& path) { return XdgHasHandler(mimeCommand, path); };
    launcher.start = StartDetached;
    launcher.openCommand = {openCommand};
    return launcher;
}

const TShellLauncher& DefaultShellLauncher() { return DefaultLauncherSlot(); }

void SetDefaultShellLauncher(TShellLauncher launcher) { DefaultLauncherSlot() = std::move(launcher); }

int32_t ShellOpenFile(const std::string& file, const std::string& /*parameters*/, const std::string& folder,
                      TShowCommand /*showCommand*/, TUserPrompt& prompt, const TShellLauncher& launcher) {
    if (file.size() >= 256) {
        prompt.MessageBox("Information", kPathTooLongText, TMsgIcon::Information, TMsgButtons::OK);
        return 2;
    }
    if (file.empty()) return 2;

    if (!folder.empty()) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return 3;
    }
    std::string target = file;
    if (!LooksLikeUrl(file)) {
        fs::path path(file);
        std::error_code ec;
        if (path.is_relative() && !folder.empty()) path = fs::path(folder) / path;
        // An absolute path also keeps a name starting with "-" from being read as an option.
        path = fs::absolute(path, ec);
        if (ec) return 3;
        target = path.lexically_normal().string();
        if (const int32_t code = MissingPathCode(target); code != 0) return code;
        if (launcher.hasHandler && !launcher.hasHandler(target)) return 31;
    }
    if (!launcher.start) return 31;
    std::vector<std::string> argv = launcher.openCommand;
    argv.push_back(target);
    return CodeForStartError(launcher.start(argv, folder));
}

int32_t ShellOpen(const std::string& file, TUserPrompt& prompt, const TShellLauncher& launcher) {
    const int32_t r = ShellOpenFile(file, "", "", TShowCommand::NoActivate, prompt, launcher);
    if (r <= 32)
        prompt.MessageBox("Error", "Unable to execute file:\n\n" + ShellErrorText(r), TMsgIcon::Warning,
                          TMsgButtons::OK);
    return r;
}

std::string ShellErrorText(int32_t code) {
    switch (code) {
    case 0:
        return "The operating system is out of memory or resources.";
    case 2:
        return "The specified file was not found.";
    case 3:
        return "The specified path was not found.";
    case 5:
        return "The operating system denied access to the specified file.";
    case 8:
        return "There was not enough memory to complete the operation.";
    case 11:
        return "The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).";
    case 26:
        return "A sharing violation occurred.";
    case 27:
        return "The filename association is incomplete or invalid.";
    case 28:
        return "The DDE transaction could not be completed because the request timed out.";
    case 29:
        return "The DDE transaction failed.";
    case 30:
        return "The DDE transaction could not be completed because other DDE transactions were being processed.";
    case 31:
        return "There is no application associated with the given filename extension.";
    case 32:
        return "The specified dynamic-link library was not found.";
    default:
        return "An unknown error occurred when trying to load file in associated application.";
    }
}

}  // namespace luma
