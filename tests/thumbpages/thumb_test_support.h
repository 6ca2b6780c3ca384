#pragma once
// A recording view and small image files for the generator tests.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "formats/image_component.h"
#include "thumbpages/thumb_generator.h"

namespace luma::test {

class RecordingThumbView final : public TThumbView {
public:
    std::vector<std::string> statuses;
    std::vector<std::string> problems;
    int32_t progressMin = -1, progressMax = -1, progress = -1;
    bool stopEnabled = false;
    int runEnded = 0;
    bool endedStopped = false;
    std::string endedFirstPage;
    std::function<void()> onEvents;

    void SetStatus(const std::string& text) override { statuses.push_back(text); }
    void SetProgressRange(int32_t minimum, int32_t maximum) override {
        progressMin = minimum;
        progressMax = maximum;
    }
    void SetProgress(int32_t position) override { progress = position; }
    void SetStopEnabled(bool enabled) override { stopEnabled = enabled; }
    void ProcessEvents() override {
        if (onEvents) onEvents();
    }
    void ReportProblem(const std::string& message) override { problems.push_back(message); }
    void RunEnded(bool stopped, const std::string& firstPage) override {
        ++runEnded;
        endedStopped = stopped;
        endedFirstPage = firstPage;
    }
};

// Writes a width x height image of one colour in the format of the file name's extension.
inline void WriteImage(const std::filesystem::path& path, int32_t width, int32_t height, TColor color = 0x3080C0) {
    TImageComponent image;
    image.ImageBuffer().Allocate(width, height, pk24RGB);
    image.ImageBuffer().Fill(color);
    image.SaveImageFile(path.string());
}

// The lines of a CRLF text; false in `allCrLf` when a line end is not CRLF or the last line has none.
inline std::vector<std::string> CrLfLines(const std::string& text, bool* allCrLf = nullptr) {
    std::vector<std::string> lines;
    bool ok = true;
    size_t start = 0;
    while (start < text.size()) {
        const size_t lf = text.find('\n', start);
        if (lf == std::string::npos) {
            lines.push_back(text.substr(start));
            ok = false;
            break;
        }
        if (lf == start || text[lf - 1] != '\r') ok = false;
        lines.push_back(text.substr(start, lf > start && text[lf - 1] == '\r' ? lf - 1 - start : lf - start));
        start = lf + 1;
    }
    if (allCrLf) *allCrLf = ok;
    return lines;
}

}  // namespace luma::test
