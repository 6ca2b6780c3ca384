#include "batch/batch_run.h"

#include <chrono>
#include <filesystem>
#include <future>
#include <mutex>
#include <system_error>
#include <thread>
#include <variant>

#include "batch/batch_plan.h"
#include "batch/image_pipeline.h"
#include "batch/output_naming.h"
#include "formats/image_component.h"
#include "util/paths.h"
#include "util/user_prompt.h"

namespace luma {

namespace fs = std::filesystem;

bool NeedsProcessing(const TImgSettings& s) {
    return s.ImgFormat != ofSameAsOriginal || s.ImgResize != scNoResize || s.ImgColors != ccNoChange ||
           s.UseTextWatermark || s.UseImageWatermark;
}

namespace {

// Where one file's messages go: straight to the page in the sequential run, into a record that
// is replayed in list order when files are converted at once.
class TFileSink {
public:
    virtual ~TFileSink() = default;
    // Status label and log line, then a chance for the page to repaint and see Cancel.
    virtual void Report(const std::string& text) = 0;
    virtual void Log(const std::string& line) = 0;
    virtual void FileProgress(int32_t percent) = 0;
};

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// The reason a file failed, for the log.
std::string FailureReason(const std::exception_ptr& error) {
    try {
        if (error) std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return "unknown error";
}

}  // namespace

struct TBatchRun::TFileJob {
    TPlannedFile File;
    int Waits = -1;  // an earlier file that must be finished before this one starts

    TFileOutcome Outcome = TFileOutcome::NotReached;
    // Recorded messages of a parallel run: text for Report/Log, a number for FileProgress.
    struct TEvent {
        enum Kind { Report, Log, Progress } kind;
        std::string text;
        int32_t percent = 0;
    };
    std::vector<TEvent> Events;
    std::promise<void> Done;
    std::shared_future<void> Finished = Done.get_future().share();
};

namespace {

// The conversion of one file through the pipeline (the settings ask for pixel work).
TFileOutcome ConvertFile(const TImgSettings& s, const std::string& name, const std::string& sourceFolder,
                         const std::string& source, const std::string& destination, bool draft,
                         TImageComponent& work, TImageComponent& watermark, TFileSink& sink) {
    if (Exists(destination)) {
        const bool skip = s.OutOverwrite == owSkip ||
                          (s.OutOverwrite == owOverwriteUnlessOriginal && SameFile(destination, source));
        if (skip) {
            sink.Report(name + " Exists, skipping.");
            return TFileOutcome::Skipped;
        }
    }
    sink.Report("Loading Image: " + sourceFolder + name);
    if (draft) RequestDraftScale(work, s);
    work.LoadImageFile(source);
    if (work.IO().Aborting) throw std::runtime_error("the image could not be read");
    sink.FileProgress(10);

    TDimensions box;
    if (SizeBox(s, box)) {
        sink.Report("  Resizing Image...");
        ResizeToSizeBox(work, s);
    }
    sink.FileProgress(20);
    if (s.ImgColors != ccNoChange) {
        sink.Report("  Changing Color Depth...");
        ApplyColorDepth(work, s);
        sink.FileProgress(30);
    }
    ApplyWatermarks(work, watermark, s, [&](const std::string& line) { sink.Log(line); });
    for (int32_t percent = 40; percent <= 90; percent += 10) sink.FileProgress(percent);

    sink.Report("Saving File: " + destination);
    SaveInPresetFormat(work, s, destination);
    if (work.IO().Aborting) throw std::runtime_error("the file could not be written");
    sink.FileProgress(100);
    return TFileOutcome::Converted;
}

// Copy or rename without touching the pixels.
TFileOutcome CopyOrRename(const TImgSettings& s, const std::string& name, const std::string& sourceFolder,
                          const std::string& source, const std::string& destination,
                          const std::string& destinationFolder, TFileSink& sink) {
    const bool exists = Exists(destination);
    const std::string prefix = (SameFile(destinationFolder, sourceFolder) ? "Renaming " : "Copying ") + name +
                               " to " + destination;
    std::error_code ec;
    if (!SameFile(destinationFolder, sourceFolder)) {
        if (exists && s.OutOverwrite != owOverwrite) return TFileOutcome::Skipped;
        if (exists) fs::remove(destination, ec);
        const bool copied = fs::copy_file(source, destination, fs::copy_options::none, ec);
        sink.Log(copied ? prefix : prefix + " Failed");
        return copied ? TFileOutcome::Copied : TFileOutcome::Failed;
    }
    if (SameFile(destination, source)) {
        // Only the letter case of the name changes (or nothing at all).
        fs::rename(source, destination);
        sink.Log(prefix);
        return TFileOutcome::Renamed;
    }
    if (exists && s.OutOverwrite != owOverwrite) return TFileOutcome::Skipped;
    if (exists) fs::remove(destination, ec);
    fs::rename(source, destination, ec);
    sink.Log(ec ? prefix + " Failed" : prefix);
    return ec ? TFileOutcome::Failed : TFileOutcome::Renamed;
}

class TPageSink final : public TFileSink {
public:
    TPageSink(TBatchView& view, TUserPrompt& prompt) : view_(view), prompt_(prompt) {}
    void Report(const std::string& text) override {
        view_.SetProgressText(text);
        view_.AppendLog(text);
        prompt_.ProcessMessages();
    }
    void Log(const std::string& line) override { view_.AppendLog(line); }
    void FileProgress(int32_t percent) override { view_.SetFileProgress(percent); }

private:
    TBatchView& view_;
    TUserPrompt& prompt_;
};

template <typename Events>
class TRecordingSink final : public TFileSink {
public:
    explicit TRecordingSink(Events& events) : events_(events) {}
    void Report(const std::string& text) override { events_.push_back({Events::value_type::Report, text, 0}); }
    void Log(const std::string& line) override { events_.push_back({Events::value_type::Log, line, 0}); }
    void FileProgress(int32_t percent) override {
        events_.push_back({Events::value_type::Progress, {}, percent});
    }

private:
    Events& events_;
};

// The one file's work with its failure rule: a failing file is abandoned, logged as failed (so a
// failure never looks like success in the log) and the run goes on.
TFileOutcome RunOneFile(const TImgSettings& s, const TPlannedFile& file, bool draft, TImageComponent& work,
                        TImageComponent& watermark, TFileSink& sink) {
    try {
        if (NeedsProcessing(s)) {
            return ConvertFile(s, file.Name, file.SourceFolder, file.Source, file.Destination, draft, work,
                               watermark, sink);
        }
        return CopyOrRename(s, file.Name, file.SourceFolder, file.Source, file.Destination,
                            file.DestinationFolder, sink);
    } catch (...) {
        sink.Log("  Failed: " + FailureReason(std::current_exception()));
        return TFileOutcome::Failed;
    }
}

std::string NormalisedPath(const std::string& path) {
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(fs::absolute(path, ec), ec);
    return ec ? path : canonical.string();
}

}  // namespace

TBatchRun::TBatchRun(TBatchView& view, TUserPrompt& prompt)
    : view_(view),
      prompt_(prompt),
      imgWork_(std::make_unique<TImageComponent>()),
      imgWatermark_(std::make_unique<TImageComponent>()) {}

TBatchRun::~TBatchRun() = default;

bool TBatchRun::RunBatch(const TImgSettings& settings, const std::vector<std::string>& sources) {
    OutputFiles.clear();
    Outcomes.assign(sources.size(), TFileOutcome::NotReached);
    CancelRequested = false;
    if (!settings.OutFolderSame && !EnsureFolder(settings.OutFolderName, prompt_)) return false;

    const TDate today = FixedDate ? *FixedDate : Today();
    const std::vector<TPlannedFile> plan = PlanFiles(settings, sources, today);
    std::vector<TFileJob> jobs(plan.size());
    for (size_t i = 0; i < plan.size(); ++i) jobs[i].File = plan[i];

    prompt_.ProcessMessages();
    view_.SetOverall(0, static_cast<int32_t>(jobs.size()));
    view_.SetFileProgress(0);
    view_.ClearLog();
    view_.SetProgressText("");
    prompt_.ProcessMessages();
    view_.SetCancelEnabled(true);

    if (Jobs > 1 && jobs.size() > 1) {
        RunParallel(settings, jobs);
    } else {
        RunSequential(settings, jobs);
    }

    view_.SetCancelEnabled(false);
    const bool cancelled = CancelRequested;
    std::string status;
    if (cancelled) {
        status = "Processing Canceled!";
        view_.SetProgressText(status);
        view_.SetStepName("Processing Files - Did not Finish");
        view_.RunEnded(true);
    } else {
        status = "Finished!";
        view_.SetProgressText(status);
        view_.SetStepName("Processing Files - Finished");
        view_.SetOverall(static_cast<int32_t>(jobs.size()), static_cast<int32_t>(jobs.size()));
        view_.RunEnded(false);
        prompt_.MessageBox("Completed", "Image Processing Complete!", TMsgIcon::Information, TMsgButtons::OK);
    }
    view_.AppendLog(status);
    return true;
}

void TBatchRun::RunSequential(const TImgSettings& s, std::vector<TFileJob>& jobs) {
    TPageSink sink(view_, prompt_);
    for (size_t i = 0; i < jobs.size() && !CancelRequested; ++i) {
        TFileJob& job = jobs[i];
        view_.SetStepName("Processing Files - " + std::to_string(i + 1) + " of " + std::to_string(jobs.size()));
        prompt_.ProcessMessages();
        Outcomes[i] = RunOneFile(s, job.File, Draft, *imgWork_, *imgWatermark_, sink);
        OutputFiles.push_back(job.File.Destination);
        view_.SetFileProgress(100);
        view_.SetOverall(static_cast<int32_t>(i + 1), static_cast<int32_t>(jobs.size()));
    }
}

void TBatchRun::Emit(TFileJob& job, size_t index, size_t count) {
    view_.SetStepName("Processing Files - " + std::to_string(index + 1) + " of " + std::to_string(count));
    for (const auto& event : job.Events) {
        switch (event.kind) {
            case TFileJob::TEvent::Report:
                view_.SetProgressText(event.text);
                view_.AppendLog(event.text);
                break;
            case TFileJob::TEvent::Log: view_.AppendLog(event.text); break;
            case TFileJob::TEvent::Progress: view_.SetFileProgress(event.percent); break;
        }
    }
    prompt_.ProcessMessages();
    Outcomes[index] = job.Outcome;
    OutputFiles.push_back(job.File.Destination);
    view_.SetFileProgress(100);
    view_.SetOverall(static_cast<int32_t>(index + 1), static_cast<int32_t>(count));
}

void TBatchRun::RunParallel(const TImgSettings& s, std::vector<TFileJob>& jobs) {
    // A file waits for the latest earlier file whose output or source it would touch, so that
    // files sharing a destination, or writing over another file's source, keep list order.
    std::vector<std::string> sources(jobs.size()), destinations(jobs.size());
    for (size_t i = 0; i < jobs.size(); ++i) {
        sources[i] = NormalisedPath(jobs[i].File.Source);
        destinations[i] = NormalisedPath(jobs[i].File.Destination);
        for (size_t j = i; j-- > 0;) {
            if (destinations[j] == destinations[i] || destinations[j] == sources[i] ||
                sources[j] == destinations[i]) {
                jobs[i].Waits = static_cast<int>(j);
                break;
            }
        }
    }

    std::atomic<size_t> next{0};
    auto worker = [&] {
        TImageComponent work;
        TImageComponent watermark;
        while (!CancelRequested) {
            const size_t i = next.fetch_add(1);
            if (i >= jobs.size()) return;
            TFileJob& job = jobs[i];
            if (job.Waits >= 0) jobs[static_cast<size_t>(job.Waits)].Finished.wait();
            TRecordingSink<std::vector<TFileJob::TEvent>> sink(job.Events);
            job.Outcome = RunOneFile(s, job.File, Draft, work, watermark, sink);
            job.Done.set_value();
        }
    };
    auto ready = [&](size_t i) {
        return jobs[i].Finished.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };

    const size_t threads = std::min(static_cast<size_t>(Jobs), jobs.size());
    std::vector<std::jthread> pool;
    pool.reserve(threads);
    for (size_t t = 0; t < threads; ++t) pool.emplace_back(worker);

    // Files are taken in list order and every file taken is finished, so the finished files are
    // always a prefix of the list: show them in order as they complete.
    size_t shown = 0;
    while (shown < jobs.size() && !CancelRequested) {
        if (ready(shown)) {
            Emit(jobs[shown], shown, jobs.size());
            ++shown;
            continue;
        }
        prompt_.ProcessMessages();
        jobs[shown].Finished.wait_for(std::chrono::milliseconds(20));
    }
    pool.clear();  // joins: the files in progress are finished
    for (; shown < jobs.size() && ready(shown); ++shown) Emit(jobs[shown], shown, jobs.size());
}

}  // namespace luma
