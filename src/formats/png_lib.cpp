#include "formats/png_lib.h"

namespace luma::pnglib {

namespace {

TPngContext& ContextOfErrors(png_structp png) {
    return *static_cast<TPngContext*>(png_get_error_ptr(png));
}

TPngContext& ContextOfIo(png_structp png) {
    return *static_cast<TPngContext*>(png_get_io_ptr(png));
}

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
    TPngContext& context = ContextOfErrors(png);
    context.failed = true;
    context.message = message != nullptr ? message : "";
    if (context.setAbortingOnError && context.aborting != nullptr) {
        *context.aborting = true;
    }
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnRead(png_structp png, png_bytep data, size_t size) {
    TPngContext& context = ContextOfIo(png);
    if (context.reader == nullptr || context.reader->Read(data, size) != size) {
        png_error(png, "Read error");  // truncated data: never hand libpng stale bytes
    }
}

void OnWrite(png_structp png, png_bytep data, size_t size) {
    TPngContext& context = ContextOfIo(png);
    if ((context.writer == nullptr || context.writer->Write(data, size) != size) &&
        context.aborting != nullptr) {
        *context.aborting = true;
    }
}

void OnFlush(png_structp) {}

}  // namespace

TPngReadStruct::TPngReadStruct(TPngContext& context) {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, OnError, OnWarning);
    if (png_ == nullptr) {
        return;
    }
    info_ = png_create_info_struct(png_);
    png_set_read_fn(png_, &context, OnRead);
    png_set_user_limits(png_, kPngMaxDimension, kPngMaxDimension);
    png_set_chunk_cache_max(png_, kPngChunkCacheMax);
    png_set_chunk_malloc_max(png_, kPngChunkMallocMax);
    // Only IHDR, PLTE, tRNS, pHYs, IDAT and IEND matter to us. Every other chunk is skipped
    // unread: libpng would otherwise allocate (and clear) whatever length a text or profile
    // chunk declares before it finds out that the file ends long before that.
    static const png_byte kIgnored[] =
        "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0sCAL\0sBIT\0sPLT\0sRGB\0"
        "sTER\0tEXt\0tIME\0zTXt";
    png_set_keep_unknown_chunks(png_, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(png_, PNG_HANDLE_CHUNK_NEVER, kIgnored,
                                static_cast<int>(sizeof(kIgnored) / 5));
}

TPngReadStruct::~TPngReadStruct() {
    if (png_ != nullptr) {
        png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr);
    }
}

TPngWriteStruct::TPngWriteStruct(TPngContext& context) {
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, &context, OnError, OnWarning);
    if (png_ == nullptr) {
        return;
    }
    info_ = png_create_info_struct(png_);
    png_set_write_fn(png_, &context, OnWrite, OnFlush);
}

TPngWriteStruct::~TPngWriteStruct() {
    if (png_ != nullptr) {
        png_destroy_write_struct(&png_, info_ != nullptr ? &info_ : nullptr);
    }
}

}  // namespace luma::pnglib
