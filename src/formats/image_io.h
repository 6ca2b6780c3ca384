#pragma once
// TImageIO: reads image files into an image buffer and writes the buffer to files, the format
// chosen by the file name's extension (never by the content). It owns the parameter record
// (Params) that describes the last file read and tells the next write how to encode.
//
// Failures: a reader that meets unusable data sets Aborting and the load still finishes (FileName
// and FileType then name the failed file); an unknown extension sets Aborting and touches nothing.
// Opening a file that cannot be read, or creating one that cannot be written, throws
// EFileStreamError with Aborting left True; the JPEG and PNG writers throw their own errors.
// Nothing is ever shown to the user.
//
// Saves never damage what they replace: the writer's output goes to a temporary file next to the
// destination, which takes the destination's place only when the writer finished without
// Aborting or an exception (see safe_output.h).
//
// The LZW coder hook types and the four global slots are declared in io_params.h; the contract
// of the format modules (signatures, progress record, abort rules) in format_codec.h.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "formats/format_codec.h"
#include "formats/io_params.h"
#include "formats/safe_output.h"
#include "imaging/image_buffer.h"

namespace luma {

class TImageIO;

// What the I/O object needs from the component it is attached to (the view).
class TImageIOHost {
public:
    virtual ~TImageIOHost() = default;
    // The view's background colour.
    virtual TColor HostBackground() const = 0;
    // Receives the resolution of a file just read.
    virtual void HostSetDpi(int32_t dpiX, int32_t dpiY) = 0;
    // Refresh after a load.
    virtual void HostImageChanged() = 0;
};

// One row of the format table.
struct TFormatInfo {
    int32_t FileType;
    TFormatReader Reader;  // null: not available (loads fail with Aborting)
    TFormatWriter Writer;  // null: not writable / not available (saves fail with Aborting)
};
// The row of a format identifier, or null.
const TFormatInfo* FindFormat(int32_t fileType);

// The lower-case extension of a name: from its last "." on ("" when there is none, or when the
// last "." belongs to a folder name).
std::string FileExtension(const std::string& fileName);
// The format a load of `fileName` uses: TIFF, GIF, JPEG, PCX, BMP, PNG, WMF, EMF or ftNone.
int32_t LoadFileTypeOf(const std::string& fileName);
// The format a save of `fileName` uses: TIFF, GIF, JPEG, PCX, BMP, PNG or ftNone.
int32_t SaveFileTypeOf(const std::string& fileName);

class TImageIO {
public:
    using TProgressHandler = std::function<void(TImageIO& sender, int32_t percent)>;
    using TFinishHandler = std::function<void(TImageIO& sender)>;

    // A free-standing object with an image buffer of its own.
    TImageIO();
    // Attached to `image`; `host` (may be null) is the owning view.
    explicit TImageIO(TImageBuffer& image, TImageIOHost* host = nullptr);
    ~TImageIO();
    TImageIO(const TImageIO&) = delete;
    TImageIO& operator=(const TImageIO&) = delete;

    TIOParamsVals& Params() { return params_; }
    const TIOParamsVals& Params() const { return params_; }
    TImageBuffer& Image() { return *image_; }
    const TImageBuffer& Image() const { return *image_; }

    // Copies the parameters of another I/O object.
    void Assign(const TImageIO& source) { params_ = source.params_; }

    // Set when a read or write failed or was stopped.
    bool Aborting = false;
    // Never set by this system: the 12-byte stream wrapper and square-pixel adjustment.
    bool StreamHeaders = false;
    bool AutoAdjustDPI = false;
    bool FilteredAdjustDPI = false;
    TProgressHandler OnProgress;
    TFinishHandler OnFinishWork;
    // Largest width x height a reader may allocate (guards against hostile headers).
    int64_t MaxPixels = kDefaultMaxPixels;

    // The attached view's background when there is one, else the object's own.
    TColor Background() const;
    // Ignored while a view is attached.
    void SetBackground(TColor color);

    // Reads a file, the reader chosen by the extension.
    void LoadFromFile(const std::string& fileName);
    // Reads bytes already in memory with the reader of `fileType` (the load sequence minus the
    // file opening; FileName becomes `fileName`).
    void LoadFromBytes(std::span<const uint8_t> data, int32_t fileType,
                       const std::string& fileName = {});
    // Writes a file, the writer chosen by the extension.
    void SaveToFile(const std::string& fileName);

    // Write in one format whatever the extension, with the current Params.
    void SaveAsBMP(const std::string& fileName) { SaveAs(ftBMP, fileName); }
    void SaveAsJPEG(const std::string& fileName) { SaveAs(ftJPEG, fileName); }
    void SaveAsGIF(const std::string& fileName) { SaveAs(ftGIF, fileName); }
    void SaveAsPCX(const std::string& fileName) { SaveAs(ftPCX, fileName); }
    void SaveAsPNG(const std::string& fileName) { SaveAs(ftPNG, fileName); }
    void SaveAsTIFF(const std::string& fileName) { SaveAs(ftTIFF, fileName); }
    void SaveAs(int32_t fileType, const std::string& fileName);
    // The save sequence into a stream instead of a file (no temporary file involved).
    void SaveToStream(int32_t fileType, TOutputStream& output);

private:
    TIOProgress MakeProgress();
    void RunReader(const TFormatInfo& format, std::span<const uint8_t> data,
                   const std::string& fileName);
    void AfterJpegRead();
    bool PrepareSave(int32_t fileType);
    void RunWriter(const TFormatInfo& format, TOutputStream& output);
    void FinishWork();

    TIOParamsVals params_;
    std::unique_ptr<TImageBuffer> ownImage_;
    TImageBuffer* image_ = nullptr;
    TImageIOHost* host_ = nullptr;
    TColor background_ = clWhite;
};

}  // namespace luma
