#pragma once
// The scaling filters offered by resampling. Values are fixed (settings store the index).

#include <cstdint>

namespace luma {

enum TResampleFilter : uint8_t {
    rfNone = 0,        // plain pixel replication / dropping
    rfTriangle = 1,
    rfHermite = 2,
    rfBell = 3,
    rfBSpline = 4,
    rfLanczos3 = 5,
    rfMitchell = 6,
    rfNearest = 7,
    rfLinear = 8,
    rfFastLinear = 9,  // 17-bit fixed-point linear scaler
    rfBilinear = 10,   // area scaler, bilinear
    rfBicubic = 11,    // area scaler, bicubic
};

}  // namespace luma
