#pragma once
// The list of source files of a batch: what enters it, in which order, and what is selected.
// Toolkit-free: the desktop list only displays this model.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace luma {

// The image extensions the batch accepts, in the form the extension test searches.
inline constexpr std::string_view kAcceptedImageExtensions =
    "*.jpg;*.jpeg;*.gif;*.tif;*.tiff;*.pcx;*.png;*.bmp;";

// Whether the file name's extension (any letter case) is an accepted image extension.
bool IsAcceptedImageFile(const std::string& fileName);

struct TSourceEntry {
    std::string Caption;  // file name with extension
    std::string Path;     // folder, ending with a separator
    bool Selected = false;
    std::string FullPath() const { return Path + Caption; }
};

class TSourceList {
public:
    // Adds a file when its extension is accepted and it is not in the list yet (the same file on
    // disk, or the same path when it does not exist). Returns whether it was added.
    bool AddFile(const std::string& fullPath);
    void RemoveSelected();
    void MoveUp();
    void MoveDown();

    void Select(size_t index, bool selected = true);
    void SelectOnly(size_t index);
    void SelectAll();
    void ClearSelection();

    size_t Count() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    const TSourceEntry& operator[](size_t index) const { return entries_[index]; }
    const std::vector<TSourceEntry>& Entries() const { return entries_; }
    std::vector<std::string> FullPaths() const;
    size_t SelectedCount() const;
    // Index of the first selected entry, or Count() when none is.
    size_t FirstSelected() const;

    bool CanMoveUp() const;
    bool CanMoveDown() const;

    // Files added since the last reset (the folder action counts with it).
    int AddedCount = 0;
    // The destination folder edit: filled from the first entry added while it is empty.
    std::string DestinationFolder;

private:
    std::vector<TSourceEntry> entries_;
};

}  // namespace luma
