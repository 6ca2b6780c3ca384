#include "util/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

#include "util/user_prompt.h"

namespace fs = std::filesystem;

namespace luma {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string HomeFolder() {
    std::string home = Env("HOME");
    if (home.empty()) {
        if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    }
    if (home.empty()) home = "/";
    return home;
}

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == kPathSeparator) path.pop_back();
    return path;
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

std::string ExecutablePath() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && !self.empty()) return self.string();
    // Without /proc, fall back to the path the program was started with.
    if (program_invocation_name && *program_invocation_name) {
        const fs::path started = fs::absolute(program_invocation_name, ec);
        if (!ec) return started.lexically_normal().string();
    }
    return {};
}

// Reads one entry of the user's XDG folder list (user-dirs.dirs), e.g. XDG_PICTURES_DIR="$HOME/Pictures".
// Returns the empty text when the entry is missing, malformed or points at the home folder itself
// (the way the list marks a disabled folder).
std::string XdgUserDir(std::string_view name) {
    std::string configHome = Env("XDG_CONFIG_HOME");
    if (configHome.empty() || configHome.front() != '/') configHome = HomeFolder() + "/.config";
    std::ifstream in(configHome + "/user-dirs.dirs");
    const std::string home = HomeFolder();
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string_view view(line);
        const std::size_t start = view.find_first_not_of(" \t");
        if (start == std::string_view::npos || view[start] == '#') continue;
        view.remove_prefix(start);
        if (view.substr(0, name.size()) != name || view.substr(name.size(), 2) != "=\"") continue;
        view.remove_prefix(name.size() + 2);
        const std::size_t end = view.rfind('"');
        if (end == std::string_view::npos) continue;
        view = view.substr(0, end);
        std::string value;
        if (view.substr(0, 5) == "$HOME") {
            value = home;
            view.remove_prefix(5);
        } else if (view.empty() || view.front() != '/') {
            continue;  // only absolute or $HOME-relative paths are valid
        }
        for (std::size_t i = 0; i < view.size(); ++i) {
            if (view[i] == '\\' && i + 1 < view.size()) ++i;
            value += view[i];
        }
        found = value;  // a later line overrides an earlier one
    }
    if (found.empty() || WithoutTrailingSeparators(found) == WithoutTrailingSeparators(home)) return {};
    return WithoutTrailingSeparators(found);
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerAscii(std::string text) {
    for (char& c : text) c = LowerAscii(c);
    return text;
}

std::string NormalisedAbsolute(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    if (ec) p = path;
    std::string normal = p.lexically_normal().string();
    return WithoutTrailingSeparators(normal);
}

}  // namespace

std::string ProgramFolder() {
    const std::string exe = ExecutablePath();
    if (exe.empty()) {
        std::error_code ec;
        return AddTrailingSeparator(fs::current_path(ec).string());
    }
    return AddTrailingSeparator(fs::path(exe).parent_path().string());
}

std::string SettingsFolder() {
    std::string folder = Env("LUMATRANS_CONFIG_DIR");
    if (folder.empty()) {
        std::string configHome = Env("XDG_CONFIG_HOME");
        // The XDG rules ignore a relative value.
        if (configHome.empty() || configHome.front() != '/') configHome = HomeFolder() + "/.config";
        folder = AddTrailingSeparator(configHome) + "lumatrans";
    }
    return AddTrailingSeparator(folder);
}

std::string DataFolder() {
    const fs::path program(ProgramFolder());
    const fs::path installed = (program / ".." / "share" / "lumatrans").lexically_normal();
    if (IsFolder(installed.string())) return AddTrailingSeparator(installed.string());
#ifdef LUMA_SOURCE_DATA_DIR
    if (IsFolder(LUMA_SOURCE_DATA_DIR)) return AddTrailingSeparator(LUMA_SOURCE_DATA_DIR);
#endif
    return AddTrailingSeparator(installed.string());
}

std::string DocumentsFolder(bool /*common*/) {
    if (std::string dir = XdgUserDir("XDG_DOCUMENTS_DIR"); IsFolder(dir)) return dir;
    const std::string home = WithoutTrailingSeparators(HomeFolder());
    if (std::string dir = AddTrailingSeparator(home) + "Documents"; IsFolder(dir)) return dir;
    return home;
}

std::string PicturesFolder(bool common) {
    if (std::string dir = XdgUserDir("XDG_PICTURES_DIR"); IsFolder(dir)) return dir;
    if (std::string dir = AddTrailingSeparator(WithoutTrailingSeparators(HomeFolder())) + "Pictures";
        IsFolder(dir))
        return dir;
    return DocumentsFolder(common);
}

std::string AddTrailingSeparator(const std::string& path) {
    if (path.empty() || path.back() == kPathSeparator) return path;
    return path + kPathSeparator;
}

bool HasInvalidFileNameChars(const std::string& text) {
    return text.find_first_of("\\/:*?\"<>|") != std::string::npos;
}

std::string ExtractFileExt(const std::string& fileName) {
    const std::size_t dot = fileName.find_last_of("./");
    if (dot == std::string::npos || fileName[dot] != '.') return {};
    return fileName.substr(dot);
}

bool ExtensionInList(const std::string& fileName, const std::string& list) {
    const std::string ext = ExtractFileExt(fileName);
    if (ext.empty()) return false;
    return LowerAscii(list).find("*" + LowerAscii(ext) + ";") != std::string::npos;
}

std::string EnsureFolderMessage(const std::string& path) {
    return "The Folder: \n\n" + path +
           "\n\n"
           "does not exist and could not be created.\n\n"
           "Please check that the path name does not contain the following characters:\n\n"
           "/ * ? \" < > |";
}

bool EnsureFolder(const std::string& path, TUserPrompt& prompt) {
    if (IsFolder(path)) return true;
    if (!path.empty()) {
        std::error_code ec;
        fs::create_directories(path, ec);
        if (IsFolder(path)) return true;
    }
    prompt.MessageBox("Could Not Create Output Folder", EnsureFolderMessage(path), TMsgIcon::Warning,
                      TMsgButtons::OK);
    return false;
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ecA;
    std::error_code ecB;
    const bool existsA = fs::exists(a, ecA);
    const bool existsB = fs::exists(b, ecB);
    if (existsA && existsB) {
        std::error_code ec;
        const bool same = fs::equivalent(a, b, ec);
        if (!ec) return same;
    }
    return NormalisedAbsolute(a) == NormalisedAbsolute(b);
}

}  // namespace luma
