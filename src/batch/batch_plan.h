#pragma once
// Where each source file of a run goes and what will happen to it, decided before any file is
// touched: the run follows this plan, and a dry run only prints it.

#include <string>
#include <vector>

#include "batch/img_settings.h"

namespace luma {

struct TPlannedFile {
    std::string Name;               // file name of the source
    std::string SourceFolder;       // with trailing separator
    std::string Source;             // SourceFolder + Name
    std::string DestinationFolder;  // with trailing separator
    std::string Destination;        // DestinationFolder + output name
};

// One entry per source (full paths, list order); the k-th file gets counter value k.
std::vector<TPlannedFile> PlanFiles(const TImgSettings& s, const std::vector<std::string>& sources,
                                    const TDate& today);

enum class TPlannedAction { Convert, Copy, Rename, Skip };

// What the run would do with the file as the disk stands now.
TPlannedAction PlannedAction(const TImgSettings& s, const TPlannedFile& file);

const char* ActionName(TPlannedAction action);

}  // namespace luma
