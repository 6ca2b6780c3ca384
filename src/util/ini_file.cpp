#include "util/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <limits>
#include <system_error>

namespace fs = std::filesystem;

namespace luma {

namespace {

// Settings files are small; anything beyond this is not one and is refused rather than loaded.
constexpr std::size_t kMaxIniFileSize = 64u << 20;

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// The name of a "[Section]" line, or nullopt for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() != '[') return std::nullopt;
    const std::size_t close = t.find(']');
    return Trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

struct TKeyLine {
    std::string_view key;
    std::string_view value;  // trimmed, quotes not yet removed
};

std::optional<TKeyLine> KeyLine(std::string_view line) {
    const std::string_view t = Trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
    const std::size_t eq = t.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    const std::string_view key = Trim(t.substr(0, eq));
    if (key.empty()) return std::nullopt;
    return TKeyLine{key, Trim(t.substr(eq + 1))};
}

std::string_view Unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// The stored form of a value: quoted when the reading rules would otherwise change it.
std::string StoredValue(std::string_view value) {
    if (!value.empty() && (Trim(value).size() != value.size() || Unquoted(value).size() != value.size()))
        return "\"" + std::string(value) + "\"";
    return std::string(value);
}

bool ValidSection(std::string_view section) {
    return !Trim(section).empty() && !HasLineBreak(section) && section.find(']') == std::string_view::npos;
}

bool ValidKey(std::string_view key) {
    const std::string_view t = Trim(key);
    return !t.empty() && !HasLineBreak(key) && key.find('=') == std::string_view::npos && t.front() != ';' &&
           t.front() != '[';
}

class TFd {
public:
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return fd_; }
    // Closes now and reports whether the close succeeded (it can report a late write error).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The file a write to path must replace: path itself, or the end of its chain of symbolic links.
fs::path WriteTarget(const fs::path& path) {
    std::error_code ec;
    fs::path target = path;
    for (int hops = 0; hops < 40 && fs::is_symlink(target, ec); ++hops) {
        const fs::path link = fs::read_symlink(target, ec);
        if (ec) break;
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return target;
}

std::string TempNameFor(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    return "." + target.filename().string() + ".tmp" + std::to_string(::getpid()) + "." +
           std::to_string(counter.fetch_add(1));
}

}  // namespace

void TIniFile::SetText(std::string_view text) {
    lines_.clear();
    bom_ = text.substr(0, 3) == "\xEF\xBB\xBF";
    if (bom_) text.remove_prefix(3);
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        TLine line;
        if (lf == std::string_view::npos) {
            line.text = std::string(text);
            text = {};
        } else {
            const bool crlf = lf > 0 && text[lf - 1] == '\r';
            line.text = std::string(text.substr(0, crlf ? lf - 1 : lf));
            line.eol = crlf ? "\r\n" : "\n";
            text.remove_prefix(lf + 1);
        }
        lines_.push_back(std::move(line));
    }
}

std::string TIniFile::Text() const {
    std::string text = bom_ ? "\xEF\xBB\xBF" : "";
    for (const TLine& line : lines_) {
        text += line.text;
        text += line.eol;
    }
    return text;
}

bool TIniFile::Load(const std::string& path) {
    lines_.clear();
    bom_ = false;
    TFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return errno == ENOENT;
    std::string text;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        if (text.size() + static_cast<std::size_t>(n) > kMaxIniFileSize) return false;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    SetText(text);
    return true;
}

bool TIniFile::Save(const std::string& path, std::optional<mode_t> newFileMode) const {
    if (path.empty()) return false;
    const fs::path target = WriteTarget(path);
    std::error_code ec;
    const fs::path folder = target.parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec)) {
        fs::create_directories(folder, ec);
        if (ec) return false;
    }

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return false;

    fs::path temp;
    int rawFd = -1;
    for (int attempt = 0; attempt < 100 && rawFd < 0; ++attempt) {
        temp = folder / TempNameFor(target);
        rawFd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, newFileMode.value_or(0666));
        if (rawFd < 0 && errno != EEXIST) return false;
    }
    if (rawFd < 0) return false;
    TFd fd(rawFd);
    bool ok = true;
    if (exists) {
        // Keep the owner where we may (a superuser editing someone's file), and always the mode.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            [[maybe_unused]] const int chowned = ::fchown(fd.Get(), old.st_uid, old.st_gid);
        }
        ok = ::fchmod(fd.Get(), old.st_mode & 07777) == 0;
    }
    ok = ok && WriteAll(fd.Get(), Text()) && ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

std::optional<std::size_t> TIniFile::FindSection(std::string_view section) const {
    const std::string_view wanted = Trim(section);
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto name = SectionName(lines_[i].text);
        if (name && SameName(*name, wanted)) return i;
    }
    return std::nullopt;
}

std::size_t TIniFile::SectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < lines_.size() && !SectionName(lines_[i].text)) ++i;
    return i;
}

std::optional<std::size_t> TIniFile::FindKey(std::size_t header, std::string_view key) const {
    const std::string_view wanted = Trim(key);
    const std::size_t end = SectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        const auto entry = KeyLine(lines_[i].text);
        if (entry && SameName(entry->key, wanted)) return i;
    }
    return std::nullopt;
}

std::string TIniFile::NewLineEnd() const {
    for (const TLine& line : lines_)
        if (!line.eol.empty()) return line.eol;
    return "\n";
}

std::optional<std::string> TIniFile::Read(std::string_view section, std::string_view key) const {
    const auto header = FindSection(section);
    if (!header) return std::nullopt;
    const auto at = FindKey(*header, key);
    if (!at) return std::nullopt;
    return std::string(Unquoted(KeyLine(lines_[*at].text)->value));
}

bool TIniFile::HasSection(std::string_view section) const { return FindSection(section).has_value(); }

std::vector<std::string> TIniFile::Sections() const {
    std::vector<std::string> names;
    for (const TLine& line : lines_) {
        const auto name = SectionName(line.text);
        if (!name) continue;
        bool seen = false;
        for (const std::string& n : names) seen = seen || SameName(n, *name);
        if (!seen) names.emplace_back(*name);
    }
    return names;
}

std::vector<std::string> TIniFile::Keys(std::string_view section) const {
    std::vector<std::string> keys;
    const auto header = FindSection(section);
    if (!header) return keys;
    const std::size_t end = SectionEnd(*header);
    for (std::size_t i = *header + 1; i < end; ++i) {
        const auto entry = KeyLine(lines_[i].text);
        if (!entry) continue;
        bool seen = false;
        for (const std::string& k : keys) seen = seen || SameName(k, entry->key);
        if (!seen) keys.emplace_back(entry->key);
    }
    return keys;
}

bool TIniFile::Write(std::string_view section, std::string_view key, std::string_view value) {
    if (!ValidSection(section) || !ValidKey(key) || HasLineBreak(value)) return false;
    const std::string stored = StoredValue(value);
    const std::string eol = NewLineEnd();
    const auto header = FindSection(section);
    if (!header) {
        if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = eol;
        lines_.push_back({"[" + std::string(Trim(section)) + "]", eol});
        lines_.push_back({std::string(Trim(key)) + "=" + stored, eol});
        return true;
    }
    if (const auto at = FindKey(*header, key)) {
        TLine& line = lines_[*at];
        line.text = std::string(KeyLine(line.text)->key) + "=" + stored;
        return true;
    }
    std::size_t last = SectionEnd(*header);
    while (last > *header + 1 && Trim(lines_[last - 1].text).empty()) --last;
    // The line before the new one may be the file's last line without a line end.
    if (lines_[last - 1].eol.empty()) lines_[last - 1].eol = eol;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(last), {std::string(Trim(key)) + "=" + stored, eol});
    return true;
}

bool TIniFile::DeleteKey(std::string_view section, std::string_view key) {
    const auto header = FindSection(section);
    if (!header) return false;
    const auto at = FindKey(*header, key);
    if (!at) return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*at));
    return true;
}

bool TIniFile::EraseSection(std::string_view section) {
    bool erased = false;
    while (const auto header = FindSection(section)) {
        const std::size_t end = SectionEnd(*header);
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*header),
                     lines_.begin() + static_cast<std::ptrdiff_t>(end));
        erased = true;
    }
    return erased;
}

std::optional<int32_t> ParseIniInteger(std::string_view text) {
    text = Trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    uint64_t magnitude = 0;
    for (const char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (magnitude > 0xFFFFFFFFu) return std::nullopt;
    }
    int64_t value = 0;
    if (base == 16) {
        // Hexadecimal covers the full 32-bit pattern: $FFFFFFFF is -1.
        value = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
    } else {
        value = static_cast<int64_t>(magnitude);
        if (value > static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + (negative ? 1 : 0))
            return std::nullopt;
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return static_cast<int32_t>(value);
}

namespace {

std::optional<std::string> ReadKey(const std::string& path, std::string_view section, std::string_view key) {
    TIniFile ini;
    if (!ini.Load(path)) return std::nullopt;
    return ini.Read(section, key);
}

}  // namespace

int32_t IniReadInteger(const std::string& path, std::string_view section, std::string_view key,
                       int32_t defaultValue) {
    const auto text = ReadKey(path, section, key);
    if (!text) return defaultValue;
    return ParseIniInteger(*text).value_or(defaultValue);
}

std::string IniReadString(const std::string& path, std::string_view section, std::string_view key,
                          const std::string& defaultValue) {
    auto text = ReadKey(path, section, key);
    if (!text || text->empty()) return defaultValue;
    return std::move(*text);
}

bool IniReadBool(const std::string& path, std::string_view section, std::string_view key, bool defaultValue) {
    const int32_t value = IniReadInteger(path, section, key, 3);
    if (value == 3) return defaultValue;
    return value == 1;
}

bool IniWriteString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value) {
    TIniFile ini;
    if (!ini.Load(path)) return false;
    const std::string before = ini.Text();
    if (!ini.Write(section, key, value)) return false;
    if (ini.Text() == before) return true;  // already stored so
    return ini.Save(path);
}

bool IniWriteInteger(const std::string& path, std::string_view section, std::string_view key, int32_t value) {
    return IniWriteString(path, section, key, std::to_string(value));
}

bool IniWriteBool(const std::string& path, std::string_view section, std::string_view key, bool value) {
    return IniWriteInteger(path, section, key, value ? 1 : 0);
}

bool IniEraseSection(const std::string& path, std::string_view section) {
    TIniFile ini;
    if (!ini.Load(path)) return false;
    if (!ini.EraseSection(section)) return true;  // nothing to remove
    return ini.Save(path);
}

bool IniDeleteKey(const std::string& path, std::string_view section, std::string_view key) {
    TIniFile ini;
    if (!ini.Load(path)) return false;
    if (!ini.DeleteKey(section, key)) return true;
    return ini.Save(path);
}

int32_t TIniBinder::ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const {
    return IniReadInteger(FileName, section, key, defaultValue);
}

std::string TIniBinder::ReadString(std::string_view section, std::string_view key,
                                   const std::string& defaultValue) const {
    return ReadKey(FileName, section, key).value_or(defaultValue);
}

bool TIniBinder::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) == 1;
}

bool TIniBinder::WriteInteger(std::string_view section, std::string_view key, int32_t value) const {
    return IniWriteInteger(FileName, section, key, value);
}

bool TIniBinder::WriteString(std::string_view section, std::string_view key, std::string_view value) const {
    return IniWriteString(FileName, section, key, value);
}

bool TIniBinder::WriteBool(std::string_view section, std::string_view key, bool value) const {
    return IniWriteBool(FileName, section, key, value);
}

}  // namespace luma
