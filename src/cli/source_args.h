#pragma once
// The FILE|FOLDER arguments of the commands that take a list of images.

#include <string>
#include <vector>

namespace luma {
class TSourceList;
}

namespace luma::cli {

// Adds the image files named by `inputs` to `list`, in the order given, through the list's
// acceptance and duplicate rules: files directly (a file of another type is reported and
// ignored), folders through the file finder (with sub-folders when `recursive`). A path that
// does not exist is reported with the command's name; the result is then false.
bool CollectSources(const char* command, const std::vector<std::string>& inputs, bool recursive,
                    TSourceList& list);

}  // namespace luma::cli
