// TImageProc::Resample: works out the target size, scales into a scratch buffer, takes the
// scratch buffer over and scales the alpha plane alongside.

#include <algorithm>
#include <cstdint>
#include <limits>

#include "imaging/image_buffer.h"
#include "imaging/image_proc.h"
#include "imaging/plane_mask.h"
#include "imaging/resample.h"

namespace luma {

namespace {

// One target dimension: as asked when positive, unchanged for 0, the magnitude for negatives
// other than -1; -1 is left to the caller (it keeps the proportions).
int64_t PlainTargetSize(int32_t asked, int32_t current) {
    if (asked > 0) return asked;
    if (asked == 0) return current;
    return -static_cast<int64_t>(asked);
}

int32_t LimitSize(int64_t size) {
    return static_cast<int32_t>(std::clamp<int64_t>(size, 1, std::numeric_limits<int32_t>::max()));
}

}  // namespace

void TImageProc::Resample(int32_t newWidth, int32_t newHeight, TResampleFilter filter) {
    TImageBuffer* image = Begin(AnyKind);
    if (image == nullptr) return;
    if (newWidth < 0 && newHeight < 0) return;
    // A filter value outside the list would leave the scratch buffer unwritten.
    if (filter > rfBicubic) return;
    const int32_t width = image->Width();
    const int32_t height = image->Height();

    // Sizes are worked out in 64 bits: width x height products and the magnitude of INT32_MIN
    // do not fit in 32.
    int64_t targetWidth = newWidth == -1 ? static_cast<int64_t>(width) * newHeight / height
                                         : PlainTargetSize(newWidth, width);
    int64_t targetHeight = newHeight == -1 ? targetWidth * height / width
                                           : PlainTargetSize(newHeight, height);
    const int32_t tw = LimitSize(targetWidth);
    const int32_t th = LimitSize(targetHeight);

    // Filters produce 24-bit pixels; the plain scaler keeps the kind.
    const TPixelKind kind = filter == rfNone ? image->PixelKind() : pk24RGB;
    TImageBuffer scratch;
    scratch.SetTempFileThreshold(image->TempFileThreshold());
    scratch.Allocate(tw, th, kind);
    if (filter == rfNone) {
        ScalePlain(*image, scratch, OnProgress);
    } else {
        ScaleFiltered(*image, scratch, filter, OnProgress);
    }

    TPlaneMask alpha;
    if (image->HasAlphaChannel()) alpha.CopyFrom(*image->AlphaPlane());

    image->CopyImageFrom(scratch);
    scratch.FreeImage();

    if (!alpha.Empty()) {
        TPlaneMask scaled(tw, th, 8);
        ScalePlaneFiltered(alpha, scaled, filter == rfNone ? rfFastLinear : filter);
        // A surface-stored image keeps its old plane through CopyImageFrom: start afresh.
        image->RemoveAlphaChannel();
        TImageBuffer& plane = image->AlphaChannel();
        for (int32_t y = 0; y < th; ++y) {
            std::copy_n(scaled.Row(y), tw, plane.ScanLine(y));
        }
    }
    Changed();
}

}  // namespace luma
