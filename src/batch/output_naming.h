#pragma once
// Output names and destination paths of the batch run.

#include <cstdint>
#include <string>

#include "batch/img_settings.h"

namespace luma {

class TUserPrompt;

// The suffix of suffix kind `kind` (0..7) for counter value n (1 for the first file).
std::string BuildSuffix(int32_t kind, int32_t n, const TDate& today);

// Replaces the extension of `name` (the text after the last "." that follows the last
// separator) by `extension`, which includes its dot.
std::string ReplaceExtension(const std::string& name, const std::string& extension);

// The output extension for a source file name: the format's, or for "Same as Original" the
// source's own when it is an accepted image extension, else ".jpg".
std::string OutputExtension(const TImgSettings& s, const std::string& sourceName);

// Changes the letter case of A..Z / a..z only: caseChoice 1 lower, 2 upper, else unchanged.
std::string ApplyNameCase(std::string name, int32_t caseChoice);

// The output file name (no folder) for a source file name (no folder) and the counter value.
std::string BuildOutputName(const TImgSettings& s, const std::string& sourceName, int32_t n,
                            const TDate& today);

// The destination folder (with trailing separator) for a source file's folder.
std::string DestinationFolder(const TImgSettings& s, const std::string& sourceFolder);

}  // namespace luma

namespace luma {

// Asks for the batch name (the stem) when renaming is on; false when the user cancels. A name with
// characters that cannot stand in a file name is refused with a message and asked for again.
bool AskBatchName(TImgSettings& s, TUserPrompt& prompt);

}  // namespace luma
