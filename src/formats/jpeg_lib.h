#pragma once
// The boundary between our JPEG reader/writer and libjpeg (6b interface).
//
// Everything that touches libjpeg's C conventions lives here: the error manager that turns a
// fatal libjpeg error into a longjmp back to one guarded call, the message texts, and the 64-KiB
// source and destination managers. Nothing here knows about image buffers or parameters.
//
// libjpeg reports fatal errors by calling error_exit, which must not return. We longjmp from it
// back into JpegGuarded(), the only function that calls setjmp. Between the two there are only
// libjpeg's C frames and the caller's lambda, which must therefore own nothing with a destructor
// (capture by reference, do the real work in the caller).

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first
#include <memory>
#include <string>

#include "formats/byte_io.h"

#include <jpeglib.h>

namespace luma::jpeglib {

// Pulls up to `size` bytes into `dst`; returns how many arrived (0 = end of data).
using TJpegByteReader = luma::TByteReader;

// Pushes `size` bytes; returns how many were taken.
class TJpegByteWriter {
public:
    virtual ~TJpegByteWriter() = default;
    virtual size_t Write(const uint8_t* src, size_t size) = 0;
};

// libjpeg's message text for `code` with every printf placeholder shown as "?", or
// "Corrupted" for a code outside the library's table.
std::string JpegMessageText(const jpeg_error_mgr& err, int code);

// libjpeg's standard error manager with our replacements. `pub` must stay the first member:
// libjpeg hands us a pointer to it and we get back to the whole record from there.
struct TJpegErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool* aborting = nullptr;  // set on a fatal error (may be null)
    int warningCount = 0;
    int lastWarningCode = 0;
    int fatalCode = 0;
    bool failed = false;
};

// Sets up `mgr` (standard manager plus our handlers) and returns the pointer for cinfo.err.
jpeg_error_mgr* InstallErrorManager(TJpegErrorManager& mgr, bool* aborting);

// The text of the fatal error that ended the last guarded call.
std::string FatalMessage(const TJpegErrorManager& mgr);

// Runs `call` (a lambda that calls libjpeg) so that a fatal libjpeg error comes back as false
// instead of unwinding through C frames. This is the only function that calls setjmp; it holds
// no locals with destructors.
template <class TCall>
bool JpegGuarded(TJpegErrorManager& mgr, TCall&& call) {
    if (setjmp(mgr.jump) != 0) {
        return false;
    }
    call();
    return true;
}

constexpr size_t kJpegIoBufferSize = 65536;

// Source manager: a 64-KiB buffer refilled from a TJpegByteReader. At the end of the data an
// end-of-image marker is supplied so that libjpeg finishes normally, and the premature end is
// counted as a warning; when not a single byte ever arrived, `aborting` is set as well.
class TJpegSource {
public:
    TJpegSource(TJpegByteReader& reader, bool* aborting);
    TJpegSource(const TJpegSource&) = delete;
    TJpegSource& operator=(const TJpegSource&) = delete;

    // Attaches this source to the decompressor.
    void Attach(j_decompress_ptr cinfo);

private:
    static void InitSource(j_decompress_ptr cinfo);
    static boolean FillInputBuffer(j_decompress_ptr cinfo);
    static void SkipInputData(j_decompress_ptr cinfo, long count);
    static void TermSource(j_decompress_ptr cinfo);
    static TJpegSource& Self(j_decompress_ptr cinfo);

    // libjpeg keeps a pointer to `pub`; the link (standard layout, `pub` first) leads back here.
    struct TLink {
        jpeg_source_mgr pub;
        TJpegSource* self;
    };
    TLink link_{};
    TJpegByteReader* reader_;
    bool* aborting_;
    std::unique_ptr<uint8_t[]> buffer_;
    bool anyRead_ = false;
};

// Source over bytes held in memory (the whole block handed to libjpeg at once). At the end an
// end-of-image marker is supplied, as with TJpegSource.
class TJpegMemorySource {
public:
    TJpegMemorySource(const uint8_t* data, size_t size);
    void Attach(j_decompress_ptr cinfo);

private:
    static void InitSource(j_decompress_ptr cinfo);
    static boolean FillInputBuffer(j_decompress_ptr cinfo);
    static void SkipInputData(j_decompress_ptr cinfo, long count);
    static void TermSource(j_decompress_ptr cinfo);

    jpeg_source_mgr pub_{};
    const uint8_t* data_;
    size_t size_;
};

// Destination manager: a 64-KiB buffer written to a TJpegByteWriter whenever it is full and
// once more at the end. A short write sets `aborting`.
class TJpegDestination {
public:
    TJpegDestination(TJpegByteWriter& writer, bool* aborting);
    TJpegDestination(const TJpegDestination&) = delete;
    TJpegDestination& operator=(const TJpegDestination&) = delete;

    void Attach(j_compress_ptr cinfo);

private:
    static void InitDestination(j_compress_ptr cinfo);
    static boolean EmptyOutputBuffer(j_compress_ptr cinfo);
    static void TermDestination(j_compress_ptr cinfo);
    static TJpegDestination& Self(j_compress_ptr cinfo);
    void Flush(size_t size);

    struct TLink {
        jpeg_destination_mgr pub;
        TJpegDestination* self;
    };
    TLink link_{};
    TJpegByteWriter* writer_;
    bool* aborting_;
    std::unique_ptr<uint8_t[]> buffer_;
};

// Owns a decompressor and destroys it on scope exit.
class TJpegDecompressor {
public:
    explicit TJpegDecompressor(bool* aborting);
    ~TJpegDecompressor();
    TJpegDecompressor(const TJpegDecompressor&) = delete;
    TJpegDecompressor& operator=(const TJpegDecompressor&) = delete;

    // False when libjpeg failed to create the object.
    bool Created() const { return created_; }
    jpeg_decompress_struct& Info() { return info_; }
    TJpegErrorManager& Errors() { return errors_; }

private:
    TJpegErrorManager errors_{};
    jpeg_decompress_struct info_{};
    bool created_ = false;
};

// Owns a compressor and destroys it on scope exit.
class TJpegCompressor {
public:
    explicit TJpegCompressor(bool* aborting);
    ~TJpegCompressor();
    TJpegCompressor(const TJpegCompressor&) = delete;
    TJpegCompressor& operator=(const TJpegCompressor&) = delete;

    bool Created() const { return created_; }
    jpeg_compress_struct& Info() { return info_; }
    TJpegErrorManager& Errors() { return errors_; }

private:
    TJpegErrorManager errors_{};
    jpeg_compress_struct info_{};
    bool created_ = false;
};

}  // namespace luma::jpeglib
