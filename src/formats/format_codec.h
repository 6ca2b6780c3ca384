#pragma once
// The contract between the I/O object (TImageIO) and the format modules.
//
// Every format has one reader and (for the writable formats) one writer with exactly these
// signatures:
//
//   void ReadXxx(std::span<const uint8_t> file, TImageBuffer& image, TIOParamsVals& params,
//                TPlaneMask& alpha, TIOProgress& progress);
//   void WriteXxx(TOutputStream& output, const TImageBuffer& image, TIOParamsVals& params,
//                 const TPlaneMask* alpha, TIOProgress& progress);
//
// Readers
// - `file` is the whole file, already in memory; walk it with TByteCursor (byte_io.h). Never read
//   outside it: truncated data is a failure (or a partial image), never an out-of-bounds read.
// - Validate the header first. Before allocating, pass the size to CheckImageSize(), which fails
//   (sets Aborting) for non-positive sizes and for sizes above the pixel budget.
// - Allocate `image` as pk1Bit or pk24RGB only, fill it, and set the parameter fields the format
//   sets. Do not set FileName or FileType: the I/O object does.
// - A file with an alpha plane or transparency: Allocate `alpha` (8 bits, the image's size, 255 =
//   opaque) and fill it; the I/O object hands it to the image. Leave it empty otherwise.
// - Failure: progress.Abort() and return. No exceptions for bad data (the JPEG reader may throw
//   its own error type after aborting, as its format rules say). When the signature does not
//   match, return before touching `image`, so the previous image stays.
// - After each row call progress.Row() and stop when progress.Aborted().
// - The JPEG reader fills JpegMarkers and applies the EXIF resolution itself; the I/O object
//   derives IptcInfo from an APP13 marker after the reader returns.
//
// Writers
// - `image` is always pk1Bit or pk24RGB (the I/O object converts other kinds first). Work on a
//   copy when the format needs another kind. Take the output depth from params.BitsPerSample and
//   params.SamplesPerPixel, never from the pixels.
// - Write through `output` (Write, WriteLE32, ..., Seek to complete headers). A short write sets
//   Aborting by itself; stop at the next row once progress.Aborted().
// - `alpha` is non-null only for PNG, when the image has an alpha plane (8 bits, 255 = opaque).
// - JPEG and PNG writers may throw their own exception types; the others only abort.
// - The output goes to a temporary file that replaces the destination only after the writer
//   returned without Aborting and without an exception, so a failing writer never damages an
//   existing file.
//
// Plugging in a format: define the functions declared below in the format's own files, then set
// the function in its row of the format table in image_io_formats.cpp (rows of formats not built
// yet hold null, and the I/O object fails such a load or save cleanly with Aborting).

#include <climits>
#include <cstdint>
#include <functional>
#include <span>
#include <utility>

#include "formats/byte_io.h"
#include "formats/io_params.h"
#include "imaging/image_buffer.h"
#include "imaging/pixel_kind.h"
#include "imaging/plane_mask.h"

namespace luma {

// Default pixel budget of a read: one gigapixel.
constexpr int64_t kDefaultMaxPixels = 1'000'000'000;

// The progress record handed to every reader and writer: the progress handler, the I/O object's
// abort flag, a per-row factor and a row counter, plus the read limits and the background colour.
class TIOProgress {
public:
    TIOProgress(bool& aborting, std::function<void(int32_t)> onProgress,
                int64_t maxPixels = kDefaultMaxPixels, TColor background = clWhite)
        : aborting_(&aborting), onProgress_(std::move(onProgress)), maxPixels_(maxPixels),
          background_(background) {}

    // The abort flag: set on failure, polled after every row.
    bool Aborted() const { return *aborting_; }
    void Abort() { *aborting_ = true; }
    bool* AbortFlag() { return aborting_; }

    // Starts counting `rows` rows (rows x passes for multi-pass data): factor = 100 / rows.
    void SetRows(int64_t rows) {
        factor_ = rows > 0 ? 100.0 / static_cast<double>(rows) : 0.0;
        done_ = 0;
    }
    // One more row done: reports trunc(rows done x factor).
    void Row() {
        ++done_;
        if (onProgress_) onProgress_(static_cast<int32_t>(static_cast<double>(done_) * factor_));
    }
    // Reports a fixed percentage (formats that report by stages).
    void Report(int32_t percent) {
        if (onProgress_) onProgress_(percent);
    }
    int64_t RowsDone() const { return done_; }

    // Largest width x height a reader may allocate.
    int64_t MaxPixels() const { return maxPixels_; }
    // Fill colour for formats that render onto a background (metafile import).
    TColor Background() const { return background_; }

private:
    bool* aborting_;
    std::function<void(int32_t)> onProgress_;
    double factor_ = 0.0;
    int64_t done_ = 0;
    int64_t maxPixels_;
    TColor background_;
};

// True when width and height are positive and width x height is within the pixel budget;
// otherwise aborts and returns false. Call before allocating from header values.
inline bool CheckImageSize(TIOProgress& progress, int64_t width, int64_t height) {
    int64_t pixels = 0;
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX ||
        !CheckedMul(width, height, pixels) || pixels > progress.MaxPixels()) {
        progress.Abort();
        return false;
    }
    return true;
}

using TFormatReader = void (*)(std::span<const uint8_t> file, TImageBuffer& image,
                               TIOParamsVals& params, TPlaneMask& alpha, TIOProgress& progress);
using TFormatWriter = void (*)(TOutputStream& output, const TImageBuffer& image,
                               TIOParamsVals& params, const TPlaneMask* alpha,
                               TIOProgress& progress);

// The format modules (each defined in its own files).
void ReadBmp(std::span<const uint8_t> file, TImageBuffer& image, TIOParamsVals& params,
             TPlaneMask& alpha, TIOProgress& progress);
void WriteBmp(TOutputStream& output, const TImageBuffer& image, TIOParamsVals& params,
              const TPlaneMask* alpha, TIOProgress& progress);
void ReadJpeg(std::span<const uint8_t> file, TImageBuffer& image, TIOParamsVals& params,
              TPlaneMask& alpha, TIOProgress& progress);
void WriteJpeg(TOutputStream& output, const TImageBuffer& image, TIOParamsVals& params,
               const TPlaneMask* alpha, TIOProgress& progress);
void ReadPng(std::span<const uint8_t> file, TImageBuffer& image, TIOParamsVals& params,
             TPlaneMask& alpha, TIOProgress& progress);
void WritePng(TOutputStream& output, const TImageBuffer& image, TIOParamsVals& params,
              const TPlaneMask* alpha, TIOProgress& progress);
void ReadGif(std::span<const uint8_t> file, TImageBuffer& image, TIOParamsVals& params,
             TPlaneMask& alpha, TIOProgress& progress);
void WriteGif(TOutputStream& output, const TImageBuffer& image, TIOParamsVals& params,
              const TPlaneMask* alpha, TIOProgress& progress);
void ReadPcx(std::span<const uint8_t> file, TImageBuffer& image, TIOParamsVals& params,
             TPlaneMask& alpha, TIOProgress& progress);
void WritePcx(TOutputStream& output, const TImageBuffer& image, TIOParamsVals& params,
              const TPlaneMask* alpha, TIOProgress& progress);
void ReadTiff(std::span<const uint8_t> file, TImageBuffer& image, TIOParamsVals& params,
              TPlaneMask& alpha, TIOProgress& progress);
void WriteTiff(TOutputStream& output, const TImageBuffer& image, TIOParamsVals& params,
               const TPlaneMask* alpha, TIOProgress& progress);
// Metafile import (.wmf and .emf) at the metafile's own size onto progress.Background().
void ReadMetafile(std::span<const uint8_t> file, TImageBuffer& image, TIOParamsVals& params,
                  TPlaneMask& alpha, TIOProgress& progress);

}  // namespace luma
