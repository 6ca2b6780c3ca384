#pragma once
// Fixtures for the batch tests: a processing page that records what it is shown, and small images.

#include <string>
#include <vector>

#include "batch/batch_run.h"
#include "formats/image_component.h"

namespace luma::test {

class TRecordingView final : public TBatchView {
public:
    std::vector<std::string> log;
    std::string stepName;
    std::string progressText;
    int32_t overall = -1, overallMax = -1, fileProgress = -1;
    bool cancelEnabled = false;
    int runEnded = 0;
    bool endedCancelled = false;

    void SetStepName(const std::string& text) override { stepName = text; }
    void SetProgressText(const std::string& text) override { progressText = text; }
    void AppendLog(const std::string& line) override { log.push_back(line); }
    void ClearLog() override { log.clear(); }
    void SetOverall(int32_t position, int32_t maximum) override {
        overall = position;
        overallMax = maximum;
    }
    void SetFileProgress(int32_t percent) override { fileProgress = percent; }
    void SetCancelEnabled(bool enabled) override { cancelEnabled = enabled; }
    void RunEnded(bool cancelled) override {
        ++runEnded;
        endedCancelled = cancelled;
    }
};

// Writes a width x height 24-bit image of one colour (0x00BBGGRR) in the format of the extension.
inline void WriteSolidImage(const std::string& path, int32_t width, int32_t height, TColor color) {
    TImageComponent image;
    image.ImageBuffer().Allocate(width, height, pk24RGB);
    image.ImageBuffer().Fill(color);
    image.SaveImageFile(path);
}

}  // namespace luma::test
