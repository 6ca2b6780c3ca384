#pragma once
// JPEG reading and writing over libjpeg (6b interface).
//
// ReadJpeg and WriteJpeg (declared in format_codec.h) are the format module the I/O object
// calls. The functions below are the same reader and writer with the options the TIFF module
// needs for JPEG-compressed strips: a separate tables stream (JPEGTables), the keep-raw mode
// (no colour conversion), abbreviated streams without tables, and tables-only streams.
//
// Reader: finds the start of image within the first 100 bytes, keeps COM and APP0..APP15
// markers (minus a leading JFIF APP0) in JpegMarkers, decodes into a pk24RGB buffer (gray
// replicated, CMYK/YCCK taken as inverted CMYK), sets the JPEG fields of the parameters and
// the resolution from the JFIF density. Bad data sets Aborting; nothing is thrown. ReadJpeg
// then applies ApplyExifResolution.
//
// Writer: encodes a pk24RGB (or, through a copy, any other) buffer with the colour space,
// quality, DCT method, Huffman optimisation, smoothing and progression of the parameters,
// writes the density in dots per inch and then every marker of JpegMarkers. A libjpeg error
// sets Aborting and throws EJpegError with libjpeg's message text.

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "formats/format_codec.h"

namespace luma {

// A fatal libjpeg error while writing; the message is libjpeg's text for the error code, with
// printf placeholders shown as "?" ("Corrupted" for an unknown code).
class EJpegError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TJpegReadOptions {
    // A tables-only stream read before the image (TIFF JPEGTables); empty for none.
    std::span<const uint8_t> tables;
    // No colour conversion: the three stored components are taken as red, green, blue (TIFF
    // strips whose samples are already RGB). Only for three-component data.
    bool keepRaw = false;
    // Stop after the header: parameters set, buffer untouched.
    bool preview = false;
};

// The reader with options. ReadJpeg(file, ...) is ReadJpegStream(file, ..., {}).
void ReadJpegStream(std::span<const uint8_t> data, TImageBuffer& image, TIOParamsVals& params,
                    TIOProgress& progress, const TJpegReadOptions& options);

// When the JFIF density gave 1 x 1 (or there was no JFIF header): the resolution of the first
// EXIF block (APP1) in JpegMarkers that carries one, in dots per inch (x 2.54 when its unit is
// the centimetre, truncated). Other values are left alone.
void ApplyExifResolution(TIOParamsVals& params);

struct TJpegWriteOptions {
    // Quality to use instead of params.JpegQuality (TIFF uses TiffJpegQuality); -1 for none.
    int32_t quality = -1;
    // False: an abbreviated stream without quantisation and Huffman tables (they go into a
    // tables-only stream written by WriteJpegTables with the same parameters and options).
    bool writeTables = true;
    // False: no JFIF/Adobe header and no JpegMarkers (streams embedded in another format).
    bool writeHeaders = true;
    // Rows to encode: firstRow .. firstRow + rowCount - 1 (rowCount -1: to the last row).
    int32_t firstRow = 0;
    int32_t rowCount = -1;
};

// The writer with options. WriteJpeg(output, ...) is WriteJpegStream(output, ..., {}).
void WriteJpegStream(TOutputStream& output, const TImageBuffer& image, TIOParamsVals& params,
                     TIOProgress& progress, const TJpegWriteOptions& options);

// A tables-only stream (quantisation and Huffman tables, no image) for images written by
// WriteJpegStream with the same parameters and options. Throws EJpegError on a libjpeg error.
std::vector<uint8_t> WriteJpegTables(const TIOParamsVals& params,
                                     const TJpegWriteOptions& options);

}  // namespace luma
