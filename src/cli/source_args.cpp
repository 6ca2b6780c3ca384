#include "cli/source_args.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "batch/source_list.h"
#include "util/file_finder.h"
#include "util/paths.h"

namespace luma::cli {

namespace fs = std::filesystem;

bool CollectSources(const char* command, const std::vector<std::string>& inputs, bool recursive,
                    TSourceList& list) {
    for (const std::string& input : inputs) {
        std::error_code ec;
        const std::string absolute = fs::absolute(input, ec).lexically_normal().string();
        if (fs::is_directory(input, ec)) {
            TFileFinder finder;
            finder.SetFilename("*.*");
            finder.SetLocation(absolute);
            finder.SetSubfolders(recursive);
            finder.OnFound = [&](TFileFinder&, const std::string& folder, const TSearchRec& rec) {
                list.AddFile(AddTrailingSeparator(folder) + rec.Name);
            };
            finder.RunSearch();
        } else if (fs::exists(input, ec)) {
            if (!IsAcceptedImageFile(input)) {
                std::fprintf(stderr, "lumatrans-cli %s: skipping '%s': not a BMP, JPEG, GIF, PCX, PNG or TIFF file\n",
                             command, input.c_str());
            }
            list.AddFile(absolute);
        } else {
            std::fprintf(stderr, "lumatrans-cli %s: '%s' does not exist\n", command, input.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace luma::cli
