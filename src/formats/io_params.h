#pragma once
// TIOParamsVals: the parameter record of an I/O object. After a read it describes the file that
// was read (size, depth, resolution, format details); before a write it tells the writer how to
// encode. One record lives as long as its I/O object: a read overwrites only the fields its reader
// sets (plus the per-file information cleared before every read), so everything else carries over
// to the next write and the next read.
//
// Colours in the record are triples in the image buffer's order (blue, green, red).
//
// Also here: the four LZW coder hooks. They are process-wide slots, empty at start; the program
// installs its coders into them at start-up. A new record copies the slots into its own coder
// fields; the GIF and TIFF modules use the record's coder when set and the global slot otherwise.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "imaging/pixel_kind.h"

namespace luma {

class TByteCursor;
class TOutputStream;

// The screen's logical resolution: the default resolution of readers and of the record.
constexpr int32_t kScreenDpi = 96;

// Format identifiers stored in FileType.
enum TFileType : int32_t {
    ftNone = 0,
    ftTIFF = 1,
    ftGIF = 2,
    ftJPEG = 3,
    ftPCX = 4,
    ftBMP = 5,
    ftPNG = 8,
    ftWMF = 9,
    ftEMF = 10,
};

// --- LZW coder hooks -------------------------------------------------------------------------

// State a TIFF coder keeps between the calls for one strip; owned by the caller.
struct TLzwCoderState {
    virtual ~TLzwCoderState() = default;
};
using TLzwStatePtr = std::unique_ptr<TLzwCoderState>;

// GIF decoder: `input` is positioned at the code-size byte. Reads it and the data sub-blocks
// (through the terminating empty block) and fills `indices` (width x height bytes) in row order,
// undoing the interlace when `interlaced`. Returns false and leaves `input` where it started when
// the data is unusable.
using TGifLzwDecoderHook = bool (*)(TByteCursor& input, int32_t height, int32_t width,
                                    uint8_t* indices, bool interlaced);
// GIF encoder: writes the code-size byte, the data sub-blocks and the terminating empty block of
// width x height indices of `bitsPerPixel` bits (1..8), rows in interlace order when asked.
using TGifLzwEncoderHook = void (*)(TOutputStream& output, int32_t height, int32_t width,
                                    int32_t bitsPerPixel, const uint8_t* indices,
                                    bool interlaced);
// TIFF decoder: with `state` empty, starts on the strip `compressed` (which stays valid and
// unchanged for the strip's later calls) and creates the state. Each call fills all of `row` with
// the next decoded bytes (bytes wanted = row.size()); returns false on failure. Called with an
// empty `compressed` and an empty `row`, releases the state.
using TTiffLzwDecoderHook = bool (*)(std::span<const uint8_t> compressed, std::span<uint8_t> row,
                                     TLzwStatePtr& state);
// TIFF encoder: with `state` empty, starts a new strip. Appends the coding of `row` to `output`;
// called with an empty `row`, writes the last codes and releases the state.
using TTiffLzwEncoderHook = void (*)(std::span<const uint8_t> row, std::vector<uint8_t>& output,
                                     TLzwStatePtr& state);

// The four global slots (empty until the program installs its coders).
extern TGifLzwDecoderHook GifLzwDecoder;
extern TGifLzwEncoderHook GifLzwEncoder;
extern TTiffLzwDecoderHook TiffLzwDecoder;
extern TTiffLzwEncoderHook TiffLzwEncoder;

// --- marker and IPTC lists -------------------------------------------------------------------

// APPn and comment markers kept from a JPEG read and written back by the JPEG writer.
struct TJpegMarker {
    uint8_t Code = 0;            // marker code: 0xE0..0xEF (APP0..APP15) or 0xFE (COM)
    std::vector<uint8_t> Data;   // the payload, without the marker and length bytes
};

class TJpegMarkerList {
public:
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    const TJpegMarker& operator[](int32_t i) const { return items_[static_cast<size_t>(i)]; }
    TJpegMarker& operator[](int32_t i) { return items_[static_cast<size_t>(i)]; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    void Add(uint8_t code, std::span<const uint8_t> data);
    void Insert(int32_t index, uint8_t code, std::span<const uint8_t> data);
    void Delete(int32_t index);
    void Clear() { items_.clear(); }
    // Index of the first marker with `code`, or -1.
    int32_t IndexOf(uint8_t code) const;

private:
    std::vector<TJpegMarker> items_;
};

// One IPTC dataset: record number, dataset number and its bytes.
struct TIptcRecord {
    uint8_t Record = 2;
    uint8_t DataSet = 0;
    std::vector<uint8_t> Data;
};

// IPTC records read from JPEG (APP13) and TIFF files and written by both writers. Every change
// made through the methods marks the list modified; the JPEG save stores a modified list as its
// APP13 marker.
class TIptcInfoList {
public:
    int32_t Count() const { return static_cast<int32_t>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    const TIptcRecord& operator[](int32_t i) const { return items_[static_cast<size_t>(i)]; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    void Add(uint8_t record, uint8_t dataSet, std::span<const uint8_t> data);
    void AddString(uint8_t record, uint8_t dataSet, const std::string& text);
    void Delete(int32_t index);
    void Clear();
    int32_t IndexOf(uint8_t record, uint8_t dataSet) const;
    std::string StringItem(int32_t index) const;

    bool Modified() const { return modified_; }
    void SetModified(bool modified) { modified_ = modified; }

    // Parses an IPTC-NAA byte stream (0x1C tag sequences); stops at the first malformed tag.
    // The list is replaced and not marked modified.
    void LoadFromIptcStream(std::span<const uint8_t> data);
    std::vector<uint8_t> SaveToIptcStream() const;
    // Parses the payload of a JPEG APP13 marker ("Photoshop 3.0" resource block, resource
    // 0x0404); false (list untouched) when it holds no IPTC resource.
    bool LoadFromApp13(std::span<const uint8_t> payload);
    // The payload of an APP13 marker holding this list.
    std::vector<uint8_t> SaveToApp13() const;

private:
    std::vector<TIptcRecord> items_;
    bool modified_ = false;
};

// --- the record ------------------------------------------------------------------------------

class TIOParamsVals {
public:
    // Defaults as listed below; the coder fields copy the global hooks.
    TIOParamsVals();
    TIOParamsVals(const TIOParamsVals&) = default;
    TIOParamsVals& operator=(const TIOParamsVals&) = default;

    // Back to the defaults (coder fields from the global hooks again).
    void SetDefaults();
    // Clears the per-file information before a read: IptcInfo, JpegMarkers, GifComments and the
    // TIFF text fields.
    void ClearFileInfo();

    // Replaces the palette (ColorMapCount follows).
    void SetColorMap(std::span<const TRGB> colors);
    void FreeColorMap();

    // --- common ---
    int32_t FileType = ftNone;       // identifier of the last file read; writes leave it
    std::string FileName;            // full name of the last file read
    int32_t Width = 0;               // size of the last file read (JPEG: after scaling)
    int32_t Height = 0;
    int32_t DpiX = kScreenDpi;       // resolution in dots per inch
    int32_t DpiY = kScreenDpi;
    int32_t BitsPerSample = 8;       // the writers of BMP, GIF, PCX, PNG, TIFF take their depth
    int32_t SamplesPerPixel = 3;     //   from these two, never from the pixels
    std::vector<TRGB> ColorMap;      // palette of the file read / palette a writer computed
    int32_t ColorMapCount = 0;       // == ColorMap.size()

    // --- BMP ---
    uint8_t BmpVersion = 1;          // 0 other header size, 1 40 bytes, 2 12 bytes, 3 64 bytes
    uint8_t BmpCompression = 0;      // 0 none, 1 run-length

    // --- JPEG ---
    int32_t JpegQuality = 80;        // 1..100 for writing
    uint8_t JpegColorSpace = 2;      // 0 RGB, 1 gray, 2 YCbCr, 3 CMYK, 4 YCCK
    uint8_t JpegDctMethod = 0;       // 0 integer slow, 1 integer fast, 2 floating point
    bool JpegOptimalHuffman = false;
    int32_t JpegSmooth = 0;          // 0..100
    bool JpegProgressive = false;
    uint8_t JpegScale = 1;           // 0 automatic, 1 full, 2 half, 3 quarter, 4 eighth
    int32_t JpegScaleUsed = 1;       // denominator used by the last read
    int32_t JpegOriginalWidth = 0;
    int32_t JpegOriginalHeight = 0;
    TJpegMarkerList JpegMarkers;     // per file
    int32_t JpegWarningCount = 0;
    int32_t JpegWarningCode = 0;
    TIptcInfoList IptcInfo;          // per file

    // --- GIF ---
    std::string GifVersion = "GIF89a";
    int32_t GifImageIndex = 0;
    int32_t GifImageCount = 0;
    int32_t GifXPos = 0;
    int32_t GifYPos = 0;
    int32_t GifWinWidth = 0;
    int32_t GifWinHeight = 0;
    int32_t GifDelayTime = 0;        // hundredths of a second
    bool GifHasTransparentColor = false;
    TRGB GifTransparentColor{};      // black
    bool GifInterlaced = false;
    TRGB GifBackground{};            // black
    int32_t GifRatio = 0;
    std::vector<std::string> GifComments;  // per file
    TGifLzwDecoderHook GifDecoder = nullptr;
    TGifLzwEncoderHook GifEncoder = nullptr;

    // --- TIFF ---
    uint8_t TiffCompression = 0;     // 0 none, 1..4 CCITT, 5 LZW, 6 old JPEG, 7 JPEG, 8 PackBits, 9 other
    uint8_t TiffPhotometric = 2;     // 0 white is zero, 1 black is zero, 2 RGB, 3 palette, ...
    int32_t TiffPlanarConfig = 1;
    int32_t TiffImageIndex = 0;
    int32_t TiffImageCount = 0;
    int32_t TiffXPos = 0;
    int32_t TiffYPos = 0;
    std::string TiffDocumentName;    // per file
    std::string TiffImageDescription;  // per file
    std::string TiffPageName;        // per file
    int32_t TiffPageNumber = 0;
    int32_t TiffPageCount = 0;
    int32_t TiffOrientation = 1;
    bool TiffAdjustOrientation = false;
    int32_t TiffJpegQuality = 80;
    TTiffLzwDecoderHook TiffDecoder = nullptr;
    TTiffLzwEncoderHook TiffEncoder = nullptr;

    // --- PCX ---
    int32_t PcxVersion = 5;
    uint8_t PcxCompression = 1;      // 0 none, 1 run-length

    // --- PNG ---
    bool PngInterlaced = false;
    TRGB PngBackground{};            // black
    uint8_t PngFilter = 0;           // 0 none, 1 sub, 2 Paeth, other values: the library's choice
    int32_t PngCompression = 5;      // deflate level 0..9

    // The coders a module should use: the record's own, else the global slot (may be null).
    TGifLzwDecoderHook GifDecoderToUse() const { return GifDecoder ? GifDecoder : GifLzwDecoder; }
    TGifLzwEncoderHook GifEncoderToUse() const { return GifEncoder ? GifEncoder : GifLzwEncoder; }
    TTiffLzwDecoderHook TiffDecoderToUse() const {
        return TiffDecoder ? TiffDecoder : TiffLzwDecoder;
    }
    TTiffLzwEncoderHook TiffEncoderToUse() const {
        return TiffEncoder ? TiffEncoder : TiffLzwEncoder;
    }
};

// The description text of a format identifier ("Windows Bitmap", ...); empty for unknown ones.
const char* FileTypeDescription(int32_t fileType);

}  // namespace luma
