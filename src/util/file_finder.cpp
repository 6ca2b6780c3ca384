#include "util/file_finder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>
#include <vector>

#include "util/paths.h"

namespace fs = std::filesystem;

namespace luma {

namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// * matches any run of characters, ? exactly one; letters compare without regard to ASCII case.
bool WildcardMatch(std::string_view mask, std::string_view name) {
    std::size_t m = 0;
    std::size_t n = 0;
    std::size_t starMask = std::string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = m++;
            starName = n;
        } else if (m < mask.size() && (mask[m] == '?' || LowerAscii(mask[m]) == LowerAscii(name[n]))) {
            ++m;
            ++n;
        } else if (starMask != std::string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

struct TEntry {
    TSearchRec rec;
    dev_t dev = 0;
    ino_t ino = 0;
};

class TDir {
public:
    explicit TDir(const std::string& path) : dir_(::opendir(path.c_str())) {}
    ~TDir() {
        if (dir_) ::closedir(dir_);
    }
    TDir(const TDir&) = delete;
    TDir& operator=(const TDir&) = delete;
    DIR* Get() const { return dir_; }

private:
    DIR* dir_;
};

// The entries of a folder in name order, without "." and ".."; none when it cannot be read.
std::vector<TEntry> ReadFolder(const std::string& folder) {
    std::vector<TEntry> entries;
    TDir dir(folder);
    if (!dir.Get()) return entries;
    const int dirFd = ::dirfd(dir.Get());
    while (const dirent* d = ::readdir(dir.Get())) {
        const std::string_view name(d->d_name);
        if (name == "." || name == "..") continue;
        TEntry entry;
        entry.rec.Name = std::string(name);
        struct stat st {};
        bool statted = ::fstatat(dirFd, d->d_name, &st, 0) == 0;
        if (!statted) statted = ::fstatat(dirFd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0;  // dangling link
        uint32_t attr = 0;
        if (statted) {
            if (S_ISDIR(st.st_mode)) attr |= faDirectory;
            else if (!S_ISREG(st.st_mode)) attr |= faSysFile;
            if (S_ISREG(st.st_mode)) entry.rec.Size = static_cast<int64_t>(st.st_size);
            entry.rec.Time = st.st_mtime;
            entry.dev = st.st_dev;
            entry.ino = st.st_ino;
        } else {
            attr |= faSysFile;
        }
        if (name.front() == '.') attr |= faHidden;
        if (::faccessat(dirFd, d->d_name, W_OK, AT_EACCESS) != 0) attr |= faReadOnly;
        entry.rec.Attr = attr;
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const TEntry& a, const TEntry& b) { return a.rec.Name < b.rec.Name; });
    return entries;
}

}  // namespace

struct TFileFinder::TSearchState {
    std::string mask;
    uint32_t attrMask = 0;
    bool acceptNormal = false;
    std::set<std::pair<dev_t, ino_t>> visited;  // folders searched, so a link cycle ends
};

void TFileFinder::SetFilename(const std::string& value) {
    if (value.find_first_of("/\\") != std::string::npos)
        throw EFindFileError(value + "\n\rInvalid filename specified");
    filename_ = value;
}

void TFileFinder::SetLocation(const std::string& value) {
    std::error_code ec;
    if (!value.empty() && !fs::is_directory(value, ec)) {
        const fs::path absolute = fs::absolute(value, ec);
        throw EFindFileError((ec ? value : absolute.string()) + "\n\rdirectory does not exists");
    }
    std::string stored = value;
    while (stored.size() > 1 && stored.back() == kPathSeparator) stored.pop_back();
    location_ = stored;
}

std::string TFileFinder::SearchMask(const std::string& filename) {
    if (filename.empty()) return "*.*";
    if (filename.find('.') == std::string::npos) return filename + ".*";
    return filename;
}

bool TFileFinder::MatchesMask(const std::string& mask, const std::string& name) {
    if (WildcardMatch(mask, name)) return true;
    // "name.*" also takes a name without any dot, as "*.*" takes every name.
    if (mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 && name.find('.') == std::string::npos)
        return WildcardMatch(std::string_view(mask).substr(0, mask.size() - 2), name);
    return false;
}

void TFileFinder::RunSearch() {
    TSearchState state;
    if (attributes_.Contains(ffArchive)) state.attrMask |= faArchive;
    if (attributes_.Contains(ffReadonly)) state.attrMask |= faReadOnly;
    if (attributes_.Contains(ffHidden)) state.attrMask |= faHidden;
    if (attributes_.Contains(ffSystem)) state.attrMask |= faSysFile;
    if (attributes_.Contains(ffDirectory)) state.attrMask |= faDirectory;
    state.acceptNormal = attributes_.Contains(ffNormal);
    state.mask = SearchMask(filename_);

    std::error_code ec;
    fs::path root = location_.empty() ? fs::current_path(ec) : fs::absolute(location_, ec);
    const std::string rootText = AddTrailingSeparator(root.lexically_normal().string());

    cancelled_ = false;
    struct stat st {};
    if (::stat(rootText.c_str(), &st) == 0) state.visited.insert({st.st_dev, st.st_ino});
    SearchFolder(rootText, state);
}

void TFileFinder::SearchFolder(const std::string& folder, TSearchState& state) {
    if (OnNewFolder) {
        bool ignoreFolder = false;
        OnNewFolder(*this, folder, ignoreFolder);
        if (ignoreFolder) return;
    }
    if (cancelled_) return;

    const std::vector<TEntry> entries = ReadFolder(folder);
    constexpr uint32_t kAnyAttribute = faReadOnly | faHidden | faSysFile | faDirectory | faArchive;
    constexpr uint32_t kListedOnlyWhenAsked = faHidden | faSysFile | faDirectory;
    for (const TEntry& entry : entries) {
        const TSearchRec& rec = entry.rec;
        if ((rec.Attr & kListedOnlyWhenAsked & ~state.attrMask) != 0) continue;
        if (!MatchesMask(state.mask, rec.Name)) continue;
        const bool normal = (rec.Attr & kAnyAttribute) == 0;
        if (rec.Name.front() != '.' && ((normal && state.acceptNormal) || (rec.Attr & state.attrMask) != 0)) {
            if (OnFound) OnFound(*this, folder, rec);
        }
        if (cancelled_) return;
    }

    if (!subfolders_) return;
    for (const TEntry& entry : entries) {
        if ((entry.rec.Attr & faDirectory) == 0 || entry.rec.Name.front() == '.') continue;
        if (!state.visited.insert({entry.dev, entry.ino}).second) continue;
        SearchFolder(folder + entry.rec.Name + kPathSeparator, state);
        if (cancelled_) return;
    }
}

}  // namespace luma
