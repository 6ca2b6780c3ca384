// CIE L*a*b* <-> RGB for 8-bit TIFF samples. L* is stored scaled to 0..255 and a*, b* as signed
// bytes. The conversion goes through CIE XYZ with the D50 white point (the reference white of
// print and scanner Lab data) and the sRGB primaries, onto a display whose black emits 1 % of its
// white with a pure 2.4 power curve: the same rendering the libtiff tools give such files, so our
// files and theirs look alike. The cube root and the display curve come from tables built once, so
// the row loops do only arithmetic and look-ups.

#include <algorithm>
#include <cmath>

#include "formats/tiff.h"

namespace luma {
namespace {

constexpr float kWhiteX = 0.96422f;
constexpr float kWhiteY = 1.0f;
constexpr float kWhiteZ = 0.82521f;
constexpr float kDelta = 6.0f / 29.0f;
constexpr float kFMax = 2.0f;  // range of the f(t) table (sRGB white lies beyond D50 in Z)
constexpr int kSteps = 4096;
constexpr int kGammaSteps = 65536;
constexpr double kBlack = 0.01;  // display black, relative to white

inline float InverseF(float t) {
    return t > kDelta ? t * t * t : 3.0f * kDelta * kDelta * (t - 4.0f / 29.0f);
}

inline int32_t ClampIndex(float v) {
    const float scaled = v * static_cast<float>(kGammaSteps) + 0.5f;
    if (!(scaled > 0.0f)) return 0;
    if (scaled >= static_cast<float>(kGammaSteps)) return kGammaSteps;
    return static_cast<int32_t>(scaled);
}

inline uint8_t ClampByte(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<uint8_t>(v + 0.5f);
}

}  // namespace

TLabConverter::TLabConverter() {
    for (int i = 0; i < 256; ++i) {
        const double c = i / 255.0;
        decodeGamma_[i] = static_cast<float>(kBlack + (1.0 - kBlack) * std::pow(c, 2.4));
    }
    for (int i = 0; i <= kGammaSteps; ++i) {
        const double v = static_cast<double>(i) / kGammaSteps;
        const double c = v <= kBlack ? 0.0 : std::pow((v - kBlack) / (1.0 - kBlack), 1.0 / 2.4);
        encodeGamma_[i] = static_cast<uint8_t>(std::clamp(std::lround(c * 255.0), 0L, 255L));
    }
    for (int i = 0; i <= kSteps; ++i) {
        const double t = static_cast<double>(i) / kSteps * kFMax;
        const double d = kDelta;
        labF_[i] = static_cast<float>(t > d * d * d ? std::cbrt(t) : t / (3.0 * d * d) + 4.0 / 29.0);
    }
}

const TLabConverter& TLabConverter::Instance() {
    static const TLabConverter converter;
    return converter;
}

void TLabConverter::RowToBgr(const uint8_t* lab, uint8_t* bgr, int32_t count) const {
    for (int32_t i = 0; i < count; ++i, lab += 3, bgr += 3) {
        const float lStar = static_cast<float>(lab[0]) * (100.0f / 255.0f);
        const float aStar = static_cast<float>(static_cast<int8_t>(lab[1]));
        const float bStar = static_cast<float>(static_cast<int8_t>(lab[2]));
        const float fy = (lStar + 16.0f) / 116.0f;
        const float x = kWhiteX * InverseF(fy + aStar / 500.0f);
        const float y = kWhiteY * InverseF(fy);
        const float z = kWhiteZ * InverseF(fy - bStar / 200.0f);
        const float r = 3.2404542f * x - 1.5371385f * y - 0.4985314f * z;
        const float g = -0.9692660f * x + 1.8760108f * y + 0.0415560f * z;
        const float b = 0.0556434f * x - 0.2040259f * y + 1.0572252f * z;
        bgr[0] = encodeGamma_[ClampIndex(b)];
        bgr[1] = encodeGamma_[ClampIndex(g)];
        bgr[2] = encodeGamma_[ClampIndex(r)];
    }
}

void TLabConverter::RowFromBgr(const uint8_t* bgr, uint8_t* lab, int32_t count) const {
    constexpr float kTableScale = static_cast<float>(kSteps) / kFMax;
    auto f = [this](float t) {
        float pos = t * kTableScale;
        if (!(pos > 0.0f)) pos = 0.0f;
        if (pos > static_cast<float>(kSteps)) pos = static_cast<float>(kSteps);
        const int32_t i = std::min(static_cast<int32_t>(pos), kSteps - 1);
        const float frac = pos - static_cast<float>(i);
        return labF_[i] + (labF_[i + 1] - labF_[i]) * frac;
    };
    for (int32_t i = 0; i < count; ++i, bgr += 3, lab += 3) {
        const float b = decodeGamma_[bgr[0]];
        const float g = decodeGamma_[bgr[1]];
        const float r = decodeGamma_[bgr[2]];
        const float x = (0.4124564f * r + 0.3575761f * g + 0.1804375f * b) / kWhiteX;
        const float y = (0.2126729f * r + 0.7151522f * g + 0.0721750f * b) / kWhiteY;
        const float z = (0.0193339f * r + 0.1191920f * g + 0.9503041f * b) / kWhiteZ;
        const float fx = f(x), fy = f(y), fz = f(z);
        const float lStar = 116.0f * fy - 16.0f;
        const float aStar = 500.0f * (fx - fy);
        const float bStar = 200.0f * (fy - fz);
        lab[0] = ClampByte(lStar * (255.0f / 100.0f));
        const float ar = std::clamp(aStar, -128.0f, 127.0f);
        const float br = std::clamp(bStar, -128.0f, 127.0f);
        lab[1] = static_cast<uint8_t>(static_cast<int8_t>(ar < 0 ? ar - 0.5f : ar + 0.5f));
        lab[2] = static_cast<uint8_t>(static_cast<int8_t>(br < 0 ? br - 0.5f : br + 0.5f));
    }
}

}  // namespace luma
