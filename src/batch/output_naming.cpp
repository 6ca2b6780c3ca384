#include "batch/output_naming.h"

#include <cstdio>
#include <optional>

#include "batch/source_list.h"
#include "util/paths.h"
#include "util/user_prompt.h"

namespace luma {

namespace {

std::string TwoDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value % 100);
    return text;
}

// Letters for the letter sequence: 1..26 one letter, 27..702 two letters. Beyond 702 the
// sequence goes on with as many letters as needed (bijective base 26), so every file of a long
// run still gets a distinct, valid name.
std::string LetterSequence(int32_t n) {
    std::string letters;
    for (int64_t v = n; v > 0; v = (v - 1) / 26) {
        letters.insert(letters.begin(), static_cast<char>('a' + (v - 1) % 26));
    }
    return letters;
}

}  // namespace

std::string BuildSuffix(int32_t kind, int32_t n, const TDate& today) {
    const std::string number = std::to_string(n);
    switch (kind) {
        case 0: return "_" + number;
        case 1: return n < 10 ? "_0" + number : "_" + number;
        case 2: return n < 10 ? "_00" + number : (n <= 99 ? "_0" + number : "_" + number);
        case 3: return "_" + LetterSequence(n);
        case 4: return "_" + number + "_" + TwoDigits(today.Day) + TwoDigits(today.Month) + TwoDigits(today.Year);
        case 5: return "_" + number + "_" + TwoDigits(today.Month) + TwoDigits(today.Day) + TwoDigits(today.Year);
        case 6: return "_" + number + "_" + TwoDigits(today.Day) + TwoDigits(today.Month);
        case 7: return "_" + number + "_" + TwoDigits(today.Month) + TwoDigits(today.Day);
        default: return {};
    }
}

std::string ReplaceExtension(const std::string& name, const std::string& extension) {
    const size_t dot = name.find_last_of('.');
    const size_t separator = name.find_last_of("/:");
    std::string result = name;
    if (dot != std::string::npos && (separator == std::string::npos || dot > separator)) {
        result.resize(dot);
    }
    return result + extension;
}

std::string OutputExtension(const TImgSettings& s, const std::string& sourceName) {
    if (s.ImgFormat >= ofBMP && s.ImgFormat < ofSameAsOriginal) {
        return std::string(kFormatExtensions[static_cast<size_t>(s.ImgFormat)]);
    }
    if (IsAcceptedImageFile(sourceName)) return ExtractFileExt(sourceName);
    return ".jpg";
}

std::string ApplyNameCase(std::string name, int32_t caseChoice) {
    for (char& c : name) {
        if (caseChoice == 1 && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (caseChoice == 2 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return name;
}

std::string BuildOutputName(const TImgSettings& s, const std::string& sourceName, int32_t n,
                            const TDate& today) {
    std::string name = s.OutRename ? s.OutFileName + BuildSuffix(s.OutSuffix, n, today) + ".xxx" : sourceName;
    name = ReplaceExtension(name, OutputExtension(s, sourceName));
    return ApplyNameCase(std::move(name), s.OutCase);
}

std::string DestinationFolder(const TImgSettings& s, const std::string& sourceFolder) {
    std::string folder = (s.OutFolderSame || s.OutFolderName.empty()) ? sourceFolder : s.OutFolderName;
    if (!folder.empty() && folder.back() != '/') folder.push_back('/');
    return folder;
}

}  // namespace luma

namespace luma {

bool AskBatchName(TImgSettings& s, TUserPrompt& prompt) {
    if (!s.OutRename) return true;
    std::string text = s.OutFileName;
    for (;;) {
        const std::optional<std::string> answer =
            prompt.InputBox("Filename prefix", "Please choose a name for this batch:", text);
        if (!answer) return false;
        if (!HasInvalidFileNameChars(*answer)) {
            s.OutFileName = *answer;
            return true;
        }
        prompt.ShowMessage("Filename has invalid characters");
        text = *answer;
    }
}

}  // namespace luma
