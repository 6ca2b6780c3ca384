#pragma once
// Settings files in the classic INI text form, and the one-key-per-call functions built on them.
//
// Form: "[Section]" lines open sections, "key=value" lines belong to the section above them, lines
// whose first non-blank character is ";" are comments. Section and key names compare without regard
// to ASCII letter case; names and values are trimmed of blanks and tabs, and a value enclosed in a
// pair of matching quotes (" or ') loses them. The first of duplicate sections or keys wins.
// Lines may end in CRLF or LF; a missing file reads as an empty one.
//
// Editing keeps every line it does not touch byte for byte (comments, other sections, line ends). A
// changed key keeps its line's place and its stored spelling; a new key goes after the last non-blank
// line of its section; a new section is appended at the end of the file. New lines use the file's
// first line end (LF for a new file). A value that would not read back as written (leading or
// trailing blanks, enclosing quotes) is stored in quotes, which the reading rules remove again.
//
// Saving replaces the file atomically: the new text goes to a temporary file beside it, is flushed
// to disk and renamed over the old one, so a failure (full disk, crash) leaves the old file intact.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace luma {

class TIniFile {
public:
    TIniFile() = default;
    explicit TIniFile(std::string_view text) { SetText(text); }

    // Reads path; a missing file gives an empty model. False (and an empty model) when the file
    // exists but cannot be read, so that a caller never overwrites what it could not see.
    bool Load(const std::string& path);

    // Writes the model to path atomically, creating missing parent folders. A new file gets
    // newFileMode (before the umask) when set, else 0666 less the umask; an existing file keeps its
    // mode. When path is a symbolic link the file it points to is replaced. False on any failure,
    // with the old file left as it was.
    bool Save(const std::string& path, std::optional<mode_t> newFileMode = std::nullopt) const;

    void SetText(std::string_view text);
    std::string Text() const;

    std::optional<std::string> Read(std::string_view section, std::string_view key) const;
    bool HasSection(std::string_view section) const;
    // Section names in file order (first spelling of duplicates), keys of one section in file order.
    std::vector<std::string> Sections() const;
    std::vector<std::string> Keys(std::string_view section) const;

    // Sets a key. False, with nothing changed, for a name or value that cannot be stored in this
    // form: an empty or line-breaking name, a key with "=" or starting with ";" or "[", a section with
    // "]", a value with a line break.
    bool Write(std::string_view section, std::string_view key, std::string_view value);
    // Removes a key; false when there was none.
    bool DeleteKey(std::string_view section, std::string_view key);
    // Removes every section of that name with all its lines; false when there was none.
    bool EraseSection(std::string_view section);

private:
    struct TLine {
        std::string text;  // without its line end
        std::string eol;   // "\r\n", "\n" or "" (last line without one)
    };

    // The first line of the first section named so, and the end of that section (one past).
    std::optional<std::size_t> FindSection(std::string_view section) const;
    std::size_t SectionEnd(std::size_t header) const;
    std::optional<std::size_t> FindKey(std::size_t header, std::string_view key) const;
    std::string NewLineEnd() const;

    std::vector<TLine> lines_;
    bool bom_ = false;
};

// Parses an integer as stored settings write them: optional sign and decimal digits, or hexadecimal
// after "$" or "0x"; nullopt when the text is not such an integer or does not fit 32 bits.
std::optional<int32_t> ParseIniInteger(std::string_view text);

// One-key access to the INI file at path: each call reads the file, touches one key and, when it
// changes something, saves it.
int32_t IniReadInteger(const std::string& path, std::string_view section, std::string_view key,
                       int32_t defaultValue);
// The default when the key is missing or its value is empty.
std::string IniReadString(const std::string& path, std::string_view section, std::string_view key,
                          const std::string& defaultValue);
// Reads the integer with default 3: 3 gives defaultValue, 1 true, anything else false.
bool IniReadBool(const std::string& path, std::string_view section, std::string_view key, bool defaultValue);
bool IniWriteInteger(const std::string& path, std::string_view section, std::string_view key, int32_t value);
bool IniWriteString(const std::string& path, std::string_view section, std::string_view key,
                    std::string_view value);
// Writes 1 or 0.
bool IniWriteBool(const std::string& path, std::string_view section, std::string_view key, bool value);
bool IniEraseSection(const std::string& path, std::string_view section);
bool IniDeleteKey(const std::string& path, std::string_view section, std::string_view key);

// The same access for one file named by FileName.
class TIniBinder {
public:
    std::string FileName;

    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
    // The stored text, even when empty; the default only when the key is missing.
    std::string ReadString(std::string_view section, std::string_view key, const std::string& defaultValue) const;
    // True only when the stored integer (default: 1 or 0 after defaultValue) is 1.
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;
    bool WriteInteger(std::string_view section, std::string_view key, int32_t value) const;
    bool WriteString(std::string_view section, std::string_view key, std::string_view value) const;
    bool WriteBool(std::string_view section, std::string_view key, bool value) const;
};

}  // namespace luma
