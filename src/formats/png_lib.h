#pragma once
// The boundary between our PNG reader/writer and libpng 1.6.
//
// libpng reports errors through a callback that must not return; ours records the text, sets the
// abort flag when asked to and longjmps back into PngGuarded(), the only function that calls
// setjmp. Between the two there are only libpng's C frames and the caller's lambda, which must
// own nothing with a destructor.

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/byte_io.h"

#include <png.h>

namespace luma::pnglib {

// Pulls exactly-or-fewer bytes; returns how many arrived (fewer than asked = end of data).
using TPngByteReader = luma::TByteReader;

// Pushes bytes; returns how many were taken.
class TPngByteWriter {
public:
    virtual ~TPngByteWriter() = default;
    virtual size_t Write(const uint8_t* src, size_t size) = 0;
};

// What the error and I/O callbacks need; handed to libpng as its error and I/O pointers.
struct TPngContext {
    TPngByteReader* reader = nullptr;
    TPngByteWriter* writer = nullptr;
    bool* aborting = nullptr;
    bool setAbortingOnError = true;  // readers: a libpng error sets the abort flag
    bool failed = false;
    std::string message;             // text of the last libpng error
};

// Limits handed to libpng before any chunk is read.
constexpr uint32_t kPngMaxDimension = 1000000;        // pixels per side (libpng's own default)
constexpr uint32_t kPngChunkCacheMax = 1000;          // ancillary chunks kept
constexpr size_t kPngChunkMallocMax = 16u << 20;      // bytes of one ancillary chunk

// Owns libpng's read structures.
class TPngReadStruct {
public:
    explicit TPngReadStruct(TPngContext& context);
    ~TPngReadStruct();
    TPngReadStruct(const TPngReadStruct&) = delete;
    TPngReadStruct& operator=(const TPngReadStruct&) = delete;

    bool Created() const { return png_ != nullptr && info_ != nullptr; }
    png_structp Png() const { return png_; }
    png_infop Info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

// Owns libpng's write structures.
class TPngWriteStruct {
public:
    explicit TPngWriteStruct(TPngContext& context);
    ~TPngWriteStruct();
    TPngWriteStruct(const TPngWriteStruct&) = delete;
    TPngWriteStruct& operator=(const TPngWriteStruct&) = delete;

    bool Created() const { return png_ != nullptr && info_ != nullptr; }
    png_structp Png() const { return png_; }
    png_infop Info() const { return info_; }

private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

// Runs `call` (a lambda that calls libpng) so that a libpng error comes back as false instead of
// unwinding through C frames. This is the only function that calls setjmp.
template <class TCall>
bool PngGuarded(png_structp png, TCall&& call) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    call();
    return true;
}

}  // namespace luma::pnglib
