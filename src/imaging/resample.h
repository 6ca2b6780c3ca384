#pragma once
// The scalers behind TImageProc::Resample.
//
// - ScalePlain: pixel replication / dropping (rfNone), any pixel kind, same kind in and out.
// - ScaleFiltered: the two-pass filtered scaler (rfTriangle .. rfLinear) with integer weights,
//   the fast linear scaler (rfFastLinear) and the area scaler (rfBilinear, rfBicubic). The target
//   is always 24-bit; a 1-bit source gives gray levels, palette and gray sources are read as
//   24-bit colours.
// - ScalePlaneFiltered: the same for one 8-bit plane (alpha planes), filters rfTriangle ..
//   rfBicubic, where rfFastLinear .. rfBicubic all take the fast linear scaler.
//
// The target must already be allocated at its size and kind; scalers never reallocate it.

#include <cstdint>
#include <functional>

#include "imaging/resample_filter.h"

namespace luma {

class TImageBuffer;
class TPlaneMask;

// Receives a percentage 0..100 as the work goes on; may be empty.
using TResampleProgress = std::function<void(int32_t percent)>;

// Which implementation of the filtered scaler's inner loops to use. Both give identical pixels;
// Plain exists as the portable fallback and to check the vector code against.
enum class TScalerPath : uint8_t {
    Best,   // vector code when the processor has it
    Plain,  // scalar loops only
};

// True when ScaleFiltered's vector code can run on this processor.
bool ResampleVectorPathAvailable();

// rfNone: target pixel (x, y) = source pixel (trunc(x sw / dw), trunc(y sh / dh)). Source and
// target must have the same kind; a palette is copied along.
void ScalePlain(const TImageBuffer& source, TImageBuffer& target,
                const TResampleProgress& progress = {});

// Filters rfTriangle .. rfBicubic into a 24-bit target. Does nothing for rfNone, values past
// rfBicubic, an empty source or a target that is not 24-bit. A 1 x 1 source fills the target with its pixel.
void ScaleFiltered(const TImageBuffer& source, TImageBuffer& target, TResampleFilter filter,
                   const TResampleProgress& progress = {}, TScalerPath path = TScalerPath::Best);

// One 8-bit plane into another (both allocated, 8 bits per pixel).
void ScalePlaneFiltered(const TPlaneMask& source, TPlaneMask& target, TResampleFilter filter,
                        TScalerPath path = TScalerPath::Best);

}  // namespace luma
