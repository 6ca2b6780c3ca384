#pragma once
// The settings of the thumbnail wizard: what shapes the generated pages, with their defaults, their
// storage in "thumbnail.dat" (sections "STEP1" and "STEP2"), "heading.dat" and "comment.dat", and
// the output-folder check that "Finish" makes before a run.

#include <cstdint>
#include <optional>
#include <string>

#include "imaging/image_buffer.h"

namespace luma {

class TUserPrompt;

// Entries of the fixed drop-down lists (the stored index is the position in the list).
inline constexpr const char* kPageExtensions[] = {".html", ".htm"};
inline constexpr const char* kImageAlignments[] = {"Default", "left",     "right",    "top",      "bottom",
                                                   "middle",  "absmiddle", "texttop", "baseline", "absbottom"};
inline constexpr const char* kThumbFormats[] = {".gif", ".jpg"};
enum TTableAlign : int32_t { taDefault = 0, taCenter = 1, taFullWidth = 2 };

struct TThumbSettings {
    // STEP1
    std::string PageNamePrefix = "pictures";
    int32_t Extension = 0;  // index into kPageExtensions
    std::string Homepage = "http://www.";
    int32_t Width = 100;  // thumbnail box, 10..1000
    int32_t ImageAlign = 0;  // index into kImageAlignments
    int32_t Format = 0;  // index into kThumbFormats
    bool Lowercase = true;
    bool FileName = false;
    bool FileSize = false;
    bool FileDim = false;
    bool Thumbnail = true;  // link every thumbnail to a page with the full-size image
    std::string Target = "_self";
    bool SmallerOrg = true;
    int32_t OrgWidth = 640;  // box of the smaller versions, 10..1000
    int32_t Align = taCenter;
    int32_t TableRows = 5;  // 1..200
    int32_t TableCols = 5;  // 1..200
    int32_t CellPadding = 0;  // 0..200
    int32_t TableBorder = 0;  // 0..10
    std::optional<TColor> BorderColor;  // nullopt: "None"
    std::optional<TColor> BackgroundColor;

    // STEP2
    std::string PageTitle = "My Pictures";
    std::string OutputFolder;
    bool Launch = true;
    bool DontUnderline = false;
    bool Hover = false;
    TColor PageBackground = 0xFFFFFF;
    TColor PageText = 0x000000;
    TColor PageLink = 0xFF0000;
    TColor PageVLink = 0xFF00FF;
    TColor PageALink = 0x0000FF;
    std::string PageFontName = "Tahoma";
    int32_t PageFontSize = 10;

    // The two free texts (may hold HTML); lines are separated by CRLF.
    std::string Heading = "My Pictures";
    std::string Comment = "This is a comment that might describe the images.";

    const char* PageExtension() const { return kPageExtensions[Extension]; }
    const char* ThumbExtension() const { return kThumbFormats[Format]; }

    // Sets the five page colours back to white, black, blue, fuchsia and red.
    void ResetPageColors();
    // Brings every number into its range and every index into its list, as the dialog's controls do.
    void Clamp();
};

// The three settings files in a folder (normally SettingsFolder()).
struct TThumbSettingsFiles {
    explicit TThumbSettingsFiles(const std::string& folder);
    std::string DataFile;     // thumbnail.dat
    std::string HeadingFile;  // heading.dat
    std::string CommentFile;  // comment.dat
};

// Reads every setting: the STEP1 keys, then the two text files, then the STEP2 keys. Whatever is
// missing or unreadable keeps its default; `defaultOutputFolder` is the default of OutputFolder.
TThumbSettings LoadThumbSettings(const TThumbSettingsFiles& files, const std::string& defaultOutputFolder);

// Writes every key (a key that cannot be written does not stop the others) and rewrites both text
// files. False when anything could not be written.
bool SaveThumbSettings(const TThumbSettingsFiles& files, const TThumbSettings& s);

// A text file of CRLF-ended lines, read as those lines joined by CRLF (LF-only files read the same);
// nullopt when the file cannot be read.
std::optional<std::string> ReadTextLines(const std::string& path);
// Writes each line of text followed by CRLF (an empty text gives an empty file).
bool WriteTextLines(const std::string& path, const std::string& text);

// Any CR, LF or CRLF line break in text becomes CRLF.
std::string ToCrLf(const std::string& text);

// "#RRGGBB" in upper-case hexadecimal for a 0x00BBGGRR colour.
std::string ColorText(TColor color);
// Reads "#RRGGBB", "RRGGBB" or a decimal stored value; nullopt when it is neither.
std::optional<TColor> ParseColorText(const std::string& text);

// What "Finish" found when it checked the output folder.
enum class TOutputFolderCheck {
    Ready,     // the folder exists (or has just been created): the run may start
    Empty,     // nothing entered: "You must enter an output folder." was shown
    Declined,  // the folder is missing and the user did not want it created
    Failed,    // the folder could not be created: "The output folder could not be created." was shown
};

inline constexpr const char* kNoOutputFolderText = "You must enter an output folder.";
inline constexpr const char* kCreateOutputFolderText =
    "The output folder does not exist, would you like to create it?";
inline constexpr const char* kOutputFolderFailedText = "The output folder could not be created.";

TOutputFolderCheck CheckOutputFolder(const std::string& folder, TUserPrompt& prompt);

}  // namespace luma
