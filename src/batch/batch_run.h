#pragma once
// The batch run: walks the source list in order and converts, copies or renames each file with
// one preset's settings, reporting on a processing page (the view) and leaving OutputFiles behind.
//
// The run is driven from the caller's (user-interface) thread. With Jobs > 1 several files are
// converted at once, each in an image component of its own, so that a writer's parameters come
// from that file alone; names, OutputFiles and the log still follow list order.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "batch/img_settings.h"

namespace luma {

class TUserPrompt;
class TImageComponent;

// The processing page: the step title, the status label, the log, two gauges and the buttons.
class TBatchView {
public:
    virtual ~TBatchView() = default;
    virtual void SetStepName(const std::string& text) = 0;      // lblStepName
    virtual void SetProgressText(const std::string& text) = 0;  // lblProgress
    virtual void AppendLog(const std::string& line) = 0;        // memoOutput
    virtual void ClearLog() = 0;
    virtual void SetOverall(int32_t position, int32_t maximum) = 0;  // pbOverall
    virtual void SetFileProgress(int32_t percent) = 0;               // pbFile, 0..100
    virtual void SetCancelEnabled(bool enabled) = 0;                 // btnCancelProcess
    // The run has ended: enables Finish, and Open Destination / Upload when not cancelled
    // (the Finish caption then becomes "Start Over").
    virtual void RunEnded(bool cancelled) = 0;
};

// What happened to one source file.
enum class TFileOutcome { Converted, Copied, Renamed, Skipped, Failed, NotReached };

class TBatchRun {
public:
    TBatchRun(TBatchView& view, TUserPrompt& prompt);
    ~TBatchRun();
    TBatchRun(const TBatchRun&) = delete;
    TBatchRun& operator=(const TBatchRun&) = delete;

    // Converts `sources` (full paths, list order) with `settings`. False when the destination
    // folder could not be created (the run did not start; the message has been shown).
    bool RunBatch(const TImgSettings& settings, const std::vector<std::string>& sources);

    // Set from the view's Cancel button (any thread); seen before the next file starts.
    std::atomic<bool> CancelRequested{false};
    // Files converted at once (1: in order on the calling thread).
    int Jobs = 1;
    // Let the JPEG reader decode at a reduced scale that still covers the size box.
    bool Draft = false;
    // Today's date for date suffixes; taken when the run starts unless set.
    std::unique_ptr<TDate> FixedDate;

    // One destination path per source file of the last run, in list order.
    std::vector<std::string> OutputFiles;
    // One outcome per source file of the last run (NotReached after a cancel).
    std::vector<TFileOutcome> Outcomes;

    // The working image and the watermark image of the sequential run.
    TImageComponent& WorkImage() { return *imgWork_; }

private:
    struct TFileJob;
    class TFileWorker;

    void RunSequential(const TImgSettings& s, std::vector<TFileJob>& jobs);
    void RunParallel(const TImgSettings& s, std::vector<TFileJob>& jobs);
    void Emit(TFileJob& job, size_t index, size_t count);

    TBatchView& view_;
    TUserPrompt& prompt_;
    std::unique_ptr<TImageComponent> imgWork_;
    std::unique_ptr<TImageComponent> imgWatermark_;
};

// Whether the settings ask for anything beyond copying or renaming the file.
bool NeedsProcessing(const TImgSettings& s);

}  // namespace luma
