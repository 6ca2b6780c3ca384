#pragma once
// TFileFinder walks a folder tree depth first and reports every file whose name matches a mask and
// whose attributes pass a filter: in each folder its matching entries first, then its sub-folders,
// each searched completely before the next. Entries are taken in name order.
//
// File attributes on this platform: directory = a folder; hidden = the name starts with "."; read-only
// = not writable by us; system = neither a regular file nor a folder; archive is never set. A regular
// writable file carries none of them ("normal"). Names starting with "." are never reported nor
// entered. Masks use * and ? and ignore ASCII letter case; a mask ending in ".*" also matches a name
// without any dot when the rest of the mask matches it whole. Symbolic links are followed, but no folder is searched twice, so link cycles end.

#include <cstdint>
#include <ctime>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>

namespace luma {

enum TFileAttribute : uint8_t { ffNormal, ffArchive, ffReadonly, ffHidden, ffSystem, ffDirectory };

class TFileAttributes {
public:
    constexpr TFileAttributes() = default;
    constexpr TFileAttributes(std::initializer_list<TFileAttribute> items) {
        for (const TFileAttribute a : items) bits_ |= Bit(a);
    }
    constexpr bool Contains(TFileAttribute a) const { return (bits_ & Bit(a)) != 0; }
    constexpr TFileAttributes& Include(TFileAttribute a) {
        bits_ |= Bit(a);
        return *this;
    }
    constexpr TFileAttributes& Exclude(TFileAttribute a) {
        bits_ &= static_cast<uint8_t>(~Bit(a));
        return *this;
    }
    constexpr bool operator==(const TFileAttributes&) const = default;

private:
    static constexpr uint8_t Bit(TFileAttribute a) { return static_cast<uint8_t>(1u << a); }
    uint8_t bits_ = 0;
};

inline constexpr TFileAttributes kDefaultFileAttributes{ffNormal, ffArchive, ffReadonly, ffHidden, ffSystem};

// The attribute word of a directory entry (classic bit values).
inline constexpr uint32_t faReadOnly = 0x01;
inline constexpr uint32_t faHidden = 0x02;
inline constexpr uint32_t faSysFile = 0x04;
inline constexpr uint32_t faDirectory = 0x10;
inline constexpr uint32_t faArchive = 0x20;

// One directory entry as reported: its name (no folder), size in bytes, modification time and
// attribute word.
struct TSearchRec {
    std::string Name;
    int64_t Size = 0;
    std::time_t Time = 0;
    uint32_t Attr = 0;
};

class EFindFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TFileFinder;

// Folder is the folder searched, ending with a separator.
using TFoundEvent = std::function<void(TFileFinder& sender, const std::string& folder, const TSearchRec& fileInfo)>;
// Setting ignoreFolder (false on entry) skips the folder and everything below it.
using TNewFolderEvent = std::function<void(TFileFinder& sender, const std::string& folder, bool& ignoreFolder)>;

class TFileFinder {
public:
    TFoundEvent OnFound;
    TNewFolderEvent OnNewFolder;

    TFileAttributes Attributes() const { return attributes_; }
    void SetAttributes(TFileAttributes value) { attributes_ = value; }

    const std::string& Filename() const { return filename_; }
    // Refuses a value with a folder part: EFindFileError "<value>" LF CR "Invalid filename specified".
    void SetFilename(const std::string& value);

    const std::string& Location() const { return location_; }
    // Refuses a non-empty value that names no existing folder: EFindFileError "<absolute value>" LF CR
    // "directory does not exists". Stored without trailing separators ("/" stays "/").
    void SetLocation(const std::string& value);

    bool Subfolders() const { return subfolders_; }
    void SetSubfolders(bool value) { subfolders_ = value; }

    // Searches Location (the current folder when empty) and returns when done or cancelled.
    void RunSearch();
    // Stops the running search at its next check (after the entry or folder in hand).
    void CancelSearch() { cancelled_ = true; }
    // Whether the last search was cancelled.
    bool Cancelled() const { return cancelled_; }

    // The mask a search uses for a Filename value: "*.*" for empty, value + ".*" without a dot.
    static std::string SearchMask(const std::string& filename);
    // Whether name matches mask under the rules above.
    static bool MatchesMask(const std::string& mask, const std::string& name);

private:
    struct TSearchState;
    void SearchFolder(const std::string& folder, TSearchState& state);

    TFileAttributes attributes_ = kDefaultFileAttributes;
    std::string filename_ = "*.*";
    std::string location_;
    bool subfolders_ = true;
    bool cancelled_ = false;
};

}  // namespace luma
