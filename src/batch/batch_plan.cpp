#include "batch/batch_plan.h"

#include <filesystem>
#include <system_error>

#include "batch/batch_run.h"
#include "batch/output_naming.h"
#include "util/paths.h"

namespace luma {

namespace fs = std::filesystem;

std::vector<TPlannedFile> PlanFiles(const TImgSettings& s, const std::vector<std::string>& sources,
                                    const TDate& today) {
    const std::string destinationFolder = s.OutFolderSame ? std::string() : s.OutFolderName;
    std::vector<TPlannedFile> plan(sources.size());
    for (size_t i = 0; i < sources.size(); ++i) {
        const fs::path path(sources[i]);
        TPlannedFile& file = plan[i];
        file.Name = path.filename().string();
        file.SourceFolder = AddTrailingSeparator(path.parent_path().string());
        file.Source = file.SourceFolder + file.Name;
        file.DestinationFolder =
            destinationFolder.empty() ? file.SourceFolder : AddTrailingSeparator(destinationFolder);
        file.Destination =
            file.DestinationFolder + BuildOutputName(s, file.Name, static_cast<int32_t>(i + 1), today);
    }
    return plan;
}

TPlannedAction PlannedAction(const TImgSettings& s, const TPlannedFile& file) {
    std::error_code ec;
    const bool exists = fs::exists(fs::symlink_status(file.Destination, ec));
    if (NeedsProcessing(s)) {
        if (!exists || s.OutOverwrite == owOverwrite) return TPlannedAction::Convert;
        if (s.OutOverwrite == owOverwriteUnlessOriginal && !SameFile(file.Destination, file.Source)) {
            return TPlannedAction::Convert;
        }
        return TPlannedAction::Skip;
    }
    const bool sameFolder = SameFile(file.DestinationFolder, file.SourceFolder);
    if (sameFolder && SameFile(file.Destination, file.Source)) return TPlannedAction::Rename;
    if (exists && s.OutOverwrite != owOverwrite) return TPlannedAction::Skip;
    return sameFolder ? TPlannedAction::Rename : TPlannedAction::Copy;
}

const char* ActionName(TPlannedAction action) {
    switch (action) {
        case TPlannedAction::Convert: return "convert";
        case TPlannedAction::Copy: return "copy";
        case TPlannedAction::Rename: return "rename";
        case TPlannedAction::Skip: return "skip";
    }
    return "";
}

}  // namespace luma
