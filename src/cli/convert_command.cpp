// lumatrans-cli convert [options] FILE|FOLDER...   and   lumatrans-cli presets
//
// The batch run from a terminal: the log lines go to standard output exactly as the processing
// page shows them, a progress bar to standard error when it is a terminal, and a closing line
// counts what happened to the files.

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "batch/batch_plan.h"
#include "batch/batch_run.h"
#include "batch/settings_file.h"
#include "batch/source_list.h"
#include "cli/commands.h"
#include "cli/source_args.h"
#include "cli/convert_options.h"
#include "util/file_finder.h"
#include "util/paths.h"
#include "util/terminal_prompt.h"

namespace luma::cli {

namespace {

namespace fs = std::filesystem;

std::atomic<bool> gInterrupted{false};
std::atomic<bool>* gCancelFlag = nullptr;

extern "C" void OnInterrupt(int) {
    gInterrupted = true;
    if (gCancelFlag) gCancelFlag->store(true);
}

// Prints the run's page to the terminal.
class TTerminalView final : public TBatchView {
public:
    explicit TTerminalView(bool showProgress) : showProgress_(showProgress) {}
    ~TTerminalView() override { ClearBar(); }

    void SetStepName(const std::string&) override {}
    void SetProgressText(const std::string&) override {}
    void AppendLog(const std::string& line) override {
        ClearBar();
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        DrawBar();
    }
    void ClearLog() override {}
    void SetOverall(int32_t position, int32_t maximum) override {
        overall_ = position;
        overallMax_ = maximum;
        DrawBar();
    }
    void SetFileProgress(int32_t percent) override {
        file_ = percent;
        DrawBar();
    }
    void SetCancelEnabled(bool) override {}
    void RunEnded(bool) override { ClearBar(); }

private:
    void DrawBar() {
        if (!showProgress_ || overallMax_ <= 0) return;
        constexpr int kWidth = 30;
        const int filled = overall_ * kWidth / overallMax_;
        std::fprintf(stderr, "\r[%s%s] %d/%d  file %3d%%", std::string(static_cast<size_t>(filled), '#').c_str(),
                     std::string(static_cast<size_t>(kWidth - filled), '.').c_str(), overall_, overallMax_, file_);
        std::fflush(stderr);
        barShown_ = true;
    }
    void ClearBar() {
        if (!barShown_) return;
        std::fputs("\r\033[K", stderr);
        barShown_ = false;
    }

    bool showProgress_;
    bool barShown_ = false;
    int32_t overall_ = 0, overallMax_ = 0, file_ = 0;
};


// The terminal prompt, without the completion box: the closing line says the same.
class TConvertPrompt final : public TTerminalPrompt {
public:
    using TTerminalPrompt::TTerminalPrompt;
    TMsgResult MessageBox(const std::string& caption, const std::string& text, TMsgIcon icon,
                          TMsgButtons buttons) override {
        if (caption == "Completed") return TMsgResult::OK;
        return TTerminalPrompt::MessageBox(caption, text, icon, buttons);
    }
};

int Usage(const std::string& error) {
    std::fprintf(stderr, "lumatrans-cli convert: %s\n\n%s", error.c_str(), kConvertUsage);
    return 2;
}

}  // namespace

int RunConvert(const std::vector<std::string>& args) {
    const TParsedConvert parsed = ParseConvertArgs(args);
    if (parsed.Help) {
        std::fputs(kConvertUsage, stdout);
        return 0;
    }
    if (!parsed.Error.empty()) return Usage(parsed.Error);
    const TConvertOptions& o = parsed.Options;

    TBatchSettings settings(SettingsFolder());
    settings.LoadSettings();
    settings.CurrentPreset = o.PresetIndex;
    TImgSettings& preset = *settings.Current();
    if (const std::string error = ApplyEdits(preset, parsed); !error.empty()) return Usage(error);
    if (o.SavePreset) SavePreset(settings.IniPath, preset, settings.LastUsedFolder);

    if (o.Inputs.empty() && !o.Summary) {
        if (o.SavePreset) return 0;
        return Usage("no FILE or FOLDER given");
    }
    TSourceList list;
    if (!CollectSources("convert", o.Inputs, o.Recursive, list)) return 2;
    const std::vector<std::string> sources = list.FullPaths();

    if (o.Summary) {
        const std::string summary = BuildConfirmationSummary(preset, static_cast<int>(sources.size()), Today());
        for (char c : summary) {
            if (c != '\r') std::fputc(c, stdout);
        }
        std::fputc('\n', stdout);
        return 0;
    }
    if (o.DryRun) {
        for (const TPlannedFile& file : PlanFiles(preset, sources, Today())) {
            std::printf("%s -> %s (%s)\n", file.Source.c_str(), file.Destination.c_str(),
                        ActionName(PlannedAction(preset, file)));
        }
        return 0;
    }
    if (sources.empty()) {
        std::fputs("lumatrans-cli convert: no image files to convert\n", stderr);
        return 1;
    }

    TTerminalView view(!o.Quiet && isatty(STDERR_FILENO));
    TConvertPrompt prompt(std::cin, std::cerr, false);
    TBatchRun run(view, prompt);
    run.Jobs = o.Jobs;
    run.Draft = o.Draft;
    gCancelFlag = &run.CancelRequested;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigaction(SIGINT, &action, nullptr);
    const bool started = run.RunBatch(preset, sources);
    signal(SIGINT, SIG_DFL);
    gCancelFlag = nullptr;
    if (!started) return 1;

    int counts[6] = {};
    for (TFileOutcome outcome : run.Outcomes) ++counts[static_cast<int>(outcome)];
    std::fprintf(stderr, "%d converted, %d copied, %d renamed, %d skipped, %d failed",
                 counts[static_cast<int>(TFileOutcome::Converted)], counts[static_cast<int>(TFileOutcome::Copied)],
                 counts[static_cast<int>(TFileOutcome::Renamed)], counts[static_cast<int>(TFileOutcome::Skipped)],
                 counts[static_cast<int>(TFileOutcome::Failed)]);
    if (counts[static_cast<int>(TFileOutcome::NotReached)] > 0) {
        std::fprintf(stderr, ", %d not reached", counts[static_cast<int>(TFileOutcome::NotReached)]);
    }
    std::fputc('\n', stderr);
    if (gInterrupted) return 130;
    return counts[static_cast<int>(TFileOutcome::Failed)] > 0 ? 1 : 0;
}

int RunPresets(const std::vector<std::string>& args) {
    if (!args.empty()) {
        std::fputs("Usage: lumatrans-cli presets\n\nLists the five presets with their settings.\n",
                   args[0] == "--help" ? stdout : stderr);
        return args[0] == "--help" ? 0 : 2;
    }
    TBatchSettings settings(SettingsFolder());
    settings.LoadSettings();
    for (size_t i = 0; i < settings.Presets.size(); ++i) {
        std::printf("%s (%s)\n", settings.Presets[i].SectionName.c_str(), std::string(kPresets[i].ButtonCaption).c_str());
        std::string hint = BuildPresetHint(settings.Presets[i]);
        std::string line;
        for (char c : hint + "\n") {
            if (c == '\r') continue;
            if (c == '\n') {
                if (!line.empty()) std::printf("  %s\n", line.c_str());
                line.clear();
            } else {
                line.push_back(c);
            }
        }
        std::fputc('\n', stdout);
    }
    return 0;
}

}  // namespace luma::cli
