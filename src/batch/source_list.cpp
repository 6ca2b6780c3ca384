#include "batch/source_list.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "util/paths.h"

namespace luma {

bool IsAcceptedImageFile(const std::string& fileName) {
    return ExtensionInList(fileName, std::string(kAcceptedImageExtensions));
}

bool TSourceList::AddFile(const std::string& fullPath) {
    const std::filesystem::path path(fullPath);
    bool added = false;
    if (IsAcceptedImageFile(fullPath)) {
        const bool known = std::any_of(entries_.begin(), entries_.end(), [&](const TSourceEntry& e) {
            return SameFile(e.FullPath(), fullPath);
        });
        if (known) return false;
        ++AddedCount;
        TSourceEntry entry;
        entry.Caption = path.filename().string();
        entry.Path = path.parent_path().string();
        if (entry.Path.empty() || entry.Path.back() != '/') entry.Path.push_back('/');
        entries_.push_back(std::move(entry));
        if (DestinationFolder.empty()) DestinationFolder = entries_.back().Path;
        added = true;
    }
    if (!entries_.empty() && SelectedCount() == 0) entries_.front().Selected = true;
    return added;
}

void TSourceList::RemoveSelected() {
    size_t anchor = SelectedCount() == 1 ? FirstSelected() : 0;
    for (size_t i = entries_.size(); i-- > 0;) {
        if (!entries_[i].Selected) continue;
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
        anchor = i;
    }
    if (entries_.empty()) return;
    if (anchor >= entries_.size()) anchor = entries_.size() - 1;
    entries_[anchor].Selected = true;
}

bool TSourceList::CanMoveUp() const {
    return SelectedCount() == 1 && entries_.size() > 1 && FirstSelected() > 0;
}

bool TSourceList::CanMoveDown() const {
    return SelectedCount() == 1 && entries_.size() > 1 && FirstSelected() + 1 < entries_.size();
}

void TSourceList::MoveUp() {
    if (!CanMoveUp()) return;
    const size_t i = FirstSelected();
    std::swap(entries_[i], entries_[i - 1]);
}

void TSourceList::MoveDown() {
    if (!CanMoveDown()) return;
    const size_t i = FirstSelected();
    std::swap(entries_[i], entries_[i + 1]);
}

void TSourceList::Select(size_t index, bool selected) {
    if (index < entries_.size()) entries_[index].Selected = selected;
}

void TSourceList::SelectOnly(size_t index) {
    ClearSelection();
    Select(index);
}

void TSourceList::SelectAll() {
    for (auto& e : entries_) e.Selected = true;
}

void TSourceList::ClearSelection() {
    for (auto& e : entries_) e.Selected = false;
}

std::vector<std::string> TSourceList::FullPaths() const {
    std::vector<std::string> paths;
    paths.reserve(entries_.size());
    for (const auto& e : entries_) paths.push_back(e.FullPath());
    return paths;
}

size_t TSourceList::SelectedCount() const {
    return static_cast<size_t>(std::count_if(entries_.begin(), entries_.end(),
                                             [](const TSourceEntry& e) { return e.Selected; }));
}

size_t TSourceList::FirstSelected() const {
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].Selected) return i;
    }
    return entries_.size();
}

}  // namespace luma
