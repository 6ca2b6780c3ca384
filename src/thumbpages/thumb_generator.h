#pragma once
// The thumbnail page generator: from a list of images and the wizard's settings it writes, into the
// output folder, a thumbnail of every image, a smaller version or a copy of it, a page per image
// and one or more table pages with navigation between them.
//
// The run happens on the caller's (user-interface) thread and reports through a view: the status
// line, the progress bar, the Stop button and a chance for pending events to run, at the start of
// every page, row and cell. A stop finishes the cell in progress, closes the row, completes and
// writes the page and starts no further page.
//
// File names never become markup: in src and href values the characters " < > & are written as
// character references and # ? % are percent-encoded; captions get the character references. A
// source that cannot be loaded is skipped (reported through the view) and its cell stays empty.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "thumbpages/thumb_settings.h"
#include "util/shell.h"

namespace luma {

class TImageComponent;
class TUserPrompt;

// The progress step of the wizard (and the terminal's stand-in for it).
class TThumbView {
public:
    virtual ~TThumbView() = default;
    virtual void SetStatus(const std::string& text) = 0;
    virtual void SetProgressRange(int32_t minimum, int32_t maximum) = 0;
    virtual void SetProgress(int32_t position) = 0;
    virtual void SetStopEnabled(bool enabled) = 0;
    // Lets pending events run; a Stop button pressed meanwhile sets the generator's StopRequested.
    virtual void ProcessEvents() = 0;
    // A source was left out of its cell, or an output could not be written; message names the file.
    virtual void ReportProblem(const std::string& message) = 0;
    // The run is over. firstPage is the page opened in the browser (shown in "First Page:", with
    // "Open HTML Thumbnail Page" and "Upload Files..." enabled), empty when none was opened.
    virtual void RunEnded(bool stopped, const std::string& firstPage) = 0;
};

inline constexpr const char* kStatusProcessing = "Processing...";
inline constexpr const char* kStatusCompleted = "Processing Completed!";
inline constexpr const char* kStatusAborted = "Processing ABORTED!";

class TThumbGenerator {
public:
    TThumbGenerator(TThumbView& view, TUserPrompt& prompt);
    ~TThumbGenerator();
    TThumbGenerator(const TThumbGenerator&) = delete;
    TThumbGenerator& operator=(const TThumbGenerator&) = delete;

    // Generates the site for `sources` (full paths, any order). The output folder must exist.
    // False when a run is already going (nothing happens then).
    bool Run(const TThumbSettings& settings, const std::vector<std::string>& sources);

    bool Running() const { return running_; }
    // Set by Stop (may come from another thread or a signal handler); cleared when a run starts.
    std::atomic<bool> StopRequested{false};
    // Whether the last run was stopped.
    bool Stopped() const { return stopped_; }

    // Every file produced or referenced by the last run, in the order of production.
    std::vector<std::string> CreatedFiles;
    // The page opened at the end of the last run (empty when none was).
    std::string FirstPage;
    // Sources skipped and outputs that could not be written in the last run.
    int32_t Problems = 0;

    // The opener for the first page; tests put a stand-in here.
    TShellLauncher Launcher = DefaultShellLauncher();

private:
    struct TRun;

    TThumbView& view_;
    TUserPrompt& prompt_;
    std::unique_ptr<TImageComponent> image_;
    bool running_ = false;
    bool stopped_ = false;
};

// The text of the page, per-image page and thumbnail helpers, for the wizard and for tests.

// Sorts full paths ascending by the locale's case-insensitive collation.
std::vector<std::string> SortedForPages(const std::vector<std::string>& paths);
// Pages needed for `count` images at rows x cols per page.
int32_t PageCount(int32_t count, int32_t rows, int32_t cols);
// A file name as an href or src value, and as caption text.
std::string UrlAttribute(const std::string& fileName);
std::string HtmlText(const std::string& text);
// Only A..Z changed to a..z.
std::string AsciiLower(std::string text);

}  // namespace luma
