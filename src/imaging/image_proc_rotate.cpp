// TImageProc::Rotate and TImageProc::Flip: chooses the rotation for the image's kind, turns the
// alpha plane alongside it and puts the results back into the attached image.

#include <cmath>

#include "imaging/flip.h"
#include "imaging/image_buffer.h"
#include "imaging/image_proc.h"
#include "imaging/rotate.h"

namespace luma {
namespace {

constexpr TColor kUseComponentBackground = 0xFFFFFFFFu;

// The rows of a buffer as a plane. Rows lie at a constant distance in every storage of
// TImageBuffer (its ScanLine is base + row x step), and they stay where they are until the
// buffer's storage changes, which none of the routines here does while it holds the view.
TPlaneView ViewOf(TImageBuffer& buffer) {
    TPlaneView v;
    v.width = buffer.Width();
    v.height = buffer.Height();
    v.base = buffer.ScanLine(0);
    v.stride = buffer.Height() > 1 ? buffer.ScanLine(1) - buffer.ScanLine(0) : buffer.RowLen();
    return v;
}

// A scratch buffer of the size and kind, following the storage policy of `like`; 1-bit
// scratch buffers start all black.
void Prepare(TImageBuffer& scratch, const TImageBuffer& like, int32_t width, int32_t height,
             TPixelKind kind) {
    scratch.SetTempFileThreshold(like.TempFileThreshold());
    scratch.Allocate(width, height, kind);
    if (kind == pk1Bit) scratch.Fill(0);
}

// Puts the pixels of `result` into `image` (size, kind and pixels; the alpha plane is dealt
// with by the caller). A buffer that owns its pixels simply takes over the result's storage.
void Replace(TImageBuffer& image, TImageBuffer& result) {
    if (image.Storage() == psSurface || image.IsAlphaPlane()) {
        image.CopyImageFrom(result);
        return;
    }
    result.SetBWConversion(image.BWConversion());
    result.SetTempFileThreshold(image.TempFileThreshold());
    result.MoveTo(image);
}

// trunc(angle) = angle and trunc(angle) mod 90 = 0.
bool WholeQuarterMultiple(double angle) {
    return std::trunc(angle) == angle && std::fmod(angle, 90.0) == 0.0;
}

// The 24-bit and 8-bit rotation: whole quarter turns, then three shears for the rest.
void RotateBytes(TImageBuffer& image, double angle, bool smooth, const uint8_t* background,
                 const TRotateProgress& progress) {
    const int32_t bpp = image.PixelKind() == pk24RGB ? 3 : 1;
    // Thousandths of a degree, reduced to one turn (the sign is kept). fmod of the truncated
    // product equals the integer remainder and cannot overflow.
    const auto a = static_cast<int64_t>(std::fmod(std::trunc(angle * 1000.0), 360000.0));
    double c = static_cast<double>(a) / 1000.0;
    int32_t turns = 0;  // counter-clockwise quarter turns
    while (c > 45) {
        ++turns;
        c -= 90;
    }
    while (c < -45) {
        --turns;
        c += 90;
    }
    turns = ((turns % 4) + 4) % 4;

    const int32_t w = image.Width();
    const int32_t h = image.Height();
    TImageBuffer turned;
    if (turns == 1 || turns == 3) {
        Prepare(turned, image, h, w, image.PixelKind());
        QuarterTurnBytes(ViewOf(image), ViewOf(turned), bpp, turns == 3);
    } else if (turns == 2) {
        Prepare(turned, image, w, h, image.PixelKind());
        HalfTurnBytes(ViewOf(image), ViewOf(turned), bpp);
    }
    if (c == 0) {
        if (turns != 0) Replace(image, turned);
        return;
    }
    TImageBuffer& current = turns != 0 ? turned : image;
    const TShearGeometry geometry = ComputeShearGeometry(c, current.Width(), current.Height());
    TImageBuffer result;
    Prepare(result, image, geometry.w2, geometry.o, image.PixelKind());
    ShearRotate(ViewOf(current), ViewOf(result), bpp, geometry, smooth, background, progress);
    Replace(image, result);
}

// The 1-bit rotation: exact turns for 90, -90 / 270 and +-180, inverse mapping otherwise.
void Rotate1Bit(TImageBuffer& image, double angle, bool white, const TRotateProgress& progress) {
    const int32_t w = image.Width();
    const int32_t h = image.Height();
    TImageBuffer target;
    target.SetStorage(psMemory);
    if (angle == 90 || angle == -90 || angle == 270) {
        Prepare(target, image, h, w, pk1Bit);
        QuarterTurn1Bit(ViewOf(image), ViewOf(target), angle != 90);
    } else if (angle == 180 || angle == -180) {
        Prepare(target, image, w, h, pk1Bit);
        HalfTurn1Bit(ViewOf(image), ViewOf(target));
    } else {
        const TInverseMap map = ComputeInverseMap(angle, w, h);
        Prepare(target, image, map.width, map.height, pk1Bit);
        InverseMapRotate1Bit(ViewOf(image), ViewOf(target), map, white, progress);
    }
    Replace(image, target);
}

// The 8-bit rotation that goes with the 1-bit one (alpha planes of 1-bit images).
void RotateInverse8Bit(TImageBuffer& plane, double angle, uint8_t background) {
    const int32_t w = plane.Width();
    const int32_t h = plane.Height();
    TImageBuffer target;
    if (angle == 90 || angle == -90 || angle == 270) {
        Prepare(target, plane, h, w, plane.PixelKind());
        QuarterTurnBytes(ViewOf(plane), ViewOf(target), 1, angle != 90);
    } else if (angle == 180 || angle == -180) {
        Prepare(target, plane, w, h, plane.PixelKind());
        HalfTurnBytes(ViewOf(plane), ViewOf(target), 1);
    } else {
        const TInverseMap map = ComputeInverseMap(angle, w, h);
        Prepare(target, plane, map.width, map.height, plane.PixelKind());
        InverseMapRotate8Bit(ViewOf(plane), ViewOf(target), map, background);
    }
    Replace(plane, target);
}

void RotateSmooth(TImageBuffer& image, double angle, int32_t method, const uint8_t* background,
                  const TRotateProgress& progress) {
    const int32_t bpp = image.PixelKind() == pk24RGB ? 3 : 1;
    const TSmoothSize size = ComputeSmoothSize(angle, image.Width(), image.Height());
    TImageBuffer result;
    Prepare(result, image, size.width, size.height, image.PixelKind());
    SmoothRotate(ViewOf(image), ViewOf(result), bpp, angle, method, background, progress);
    Replace(image, result);
}

}  // namespace

void TImageProc::Rotate(double angle, bool smooth, uint8_t method, TColor background) {
    // A non-finite angle has no meaning as a turn; treat it like angle 0.
    if (angle == 0 || !std::isfinite(angle)) return;
    TImageBuffer* image = Begin(KindBit(pk24RGB) | KindBit(pk1Bit));
    if (image == nullptr) return;
    const TColor color = background == kUseComponentBackground ? Background : background;
    const TRGB rgb = ToRGB(color);
    const uint8_t pixel[3] = {rgb.b, rgb.g, rgb.r};
    const uint8_t transparent = 0;

    TImageBuffer alpha;
    const bool hasAlpha = image->HasAlphaChannel();
    if (hasAlpha) alpha.Assign(*image->AlphaPlane());

    const bool is24 = image->PixelKind() == pk24RGB;
    if (smooth && method != 0 && !WholeQuarterMultiple(angle) && is24) {
        RotateSmooth(*image, angle, method, pixel, OnProgress);
        if (hasAlpha) RotateSmooth(alpha, angle, method, &transparent, {});
    } else if (is24) {
        RotateBytes(*image, angle, smooth, pixel, OnProgress);
        if (hasAlpha) RotateBytes(alpha, angle, smooth, &transparent, {});
    } else {
        const bool white = rgb.r != 0 && rgb.g != 0 && rgb.b != 0;
        Rotate1Bit(*image, angle, white, OnProgress);
        if (hasAlpha) RotateInverse8Bit(alpha, angle, transparent);
    }
    if (hasAlpha) image->AlphaChannel().Assign(alpha);
    Changed();
}

void TImageProc::Flip(TFlipDirection direction) {
    TImageBuffer* image = Begin(KindBit(pk24RGB) | KindBit(pk1Bit));
    if (image == nullptr) return;
    const TPlaneView view = ViewOf(*image);
    if (direction == fdHorizontal) {
        FlipPlaneHorizontal(view, image->BitCount());
    } else {
        const int32_t bytes = image->PixelKind() == pk24RGB ? 3 * image->Width() : image->RowLen();
        FlipPlaneVertical(view, bytes);
    }
    Changed();
}

}  // namespace luma
