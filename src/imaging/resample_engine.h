#pragma once
// The scaler engines, written against rows of one or three 8-bit channels so that image buffers,
// alpha planes and 1-bit images (read as 0/255 levels) all go through the same code.

#include <cstdint>
#include <functional>

#include "imaging/resample.h"
#include "imaging/resample_filter.h"

namespace luma {

struct TScaleJob {
    int32_t srcWidth = 0;
    int32_t srcHeight = 0;
    int32_t dstWidth = 0;
    int32_t dstHeight = 0;
    // Bytes per pixel of source rows and of the intermediate image: 1 or 3.
    int32_t channels = 3;
    // With one channel: write each level three times into 24-bit target rows.
    bool grayTo24 = false;
    // Source row r (top = 0), `channels` bytes per pixel. The pointer is used before the next
    // call only.
    std::function<const uint8_t*(int32_t row)> sourceRow;
    // Target row r, written once, before the next call.
    std::function<uint8_t*(int32_t row)> targetRow;
    const TResampleProgress* progress = nullptr;

    int32_t TargetChannels() const { return grayTo24 ? 3 : channels; }
    void Report(int32_t percent) const {
        if (progress != nullptr && *progress) (*progress)(percent);
    }
};

// Filters rfTriangle .. rfLinear. Needs source and target of at least 1 x 1.
void RunTwoPass(const TScaleJob& job, TResampleFilter filter, TScalerPath path);
// rfFastLinear.
void RunFastLinear(const TScaleJob& job);
// rfBilinear / rfBicubic.
void RunAreaScale(const TScaleJob& job, bool bicubic);

}  // namespace luma
