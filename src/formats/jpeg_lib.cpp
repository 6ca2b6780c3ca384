#include "formats/jpeg_lib.h"

#include <algorithm>
#include <cstring>

#include <jerror.h>

namespace luma::jpeglib {

namespace {

constexpr uint8_t kEndOfImage[2] = {0xFF, 0xD9};

TJpegErrorManager& ManagerOf(j_common_ptr cinfo) {
    // `pub` is the first member of the standard-layout TJpegErrorManager.
    return *reinterpret_cast<TJpegErrorManager*>(cinfo->err);
}

[[noreturn]] void OnErrorExit(j_common_ptr cinfo) {
    TJpegErrorManager& mgr = ManagerOf(cinfo);
    mgr.failed = true;
    mgr.fatalCode = mgr.pub.msg_code;
    if (mgr.aborting != nullptr) {
        *mgr.aborting = true;
    }
    std::longjmp(mgr.jump, 1);
}

void OnEmitMessage(j_common_ptr cinfo, int level) {
    if (level != -1) {
        return;  // trace messages are of no interest
    }
    TJpegErrorManager& mgr = ManagerOf(cinfo);
    ++mgr.warningCount;
    mgr.lastWarningCode = mgr.pub.msg_code;
    ++mgr.pub.num_warnings;
}

void OnOutputMessage(j_common_ptr) {}

void OnFormatMessage(j_common_ptr cinfo, char* buffer) {
    const std::string text = JpegMessageText(*cinfo->err, cinfo->err->msg_code);
    const size_t n = std::min(text.size(), static_cast<size_t>(JMSG_LENGTH_MAX - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

bool IsConversionFlag(char c) {
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0' || c == '.' ||
           (c >= '1' && c <= '9') || c == 'l' || c == 'h' || c == 'z' || c == 'j' || c == 't';
}

}  // namespace

std::string JpegMessageText(const jpeg_error_mgr& err, int code) {
    const char* pattern = nullptr;
    if (err.jpeg_message_table != nullptr && code >= 0 && code <= err.last_jpeg_message) {
        pattern = err.jpeg_message_table[code];
    } else if (err.addon_message_table != nullptr && code >= err.first_addon_message &&
               code <= err.last_addon_message) {
        pattern = err.addon_message_table[code - err.first_addon_message];
    }
    if (pattern == nullptr) {
        return "Corrupted";
    }
    std::string text;
    for (const char* p = pattern; *p != '\0'; ++p) {
        if (*p != '%') {
            text += *p;
            continue;
        }
        if (p[1] == '%') {
            text += '%';
            ++p;
            continue;
        }
        // Skip flags, width, precision and length up to the conversion letter.
        const char* q = p + 1;
        while (*q != '\0' && IsConversionFlag(*q)) {
            ++q;
        }
        text += '?';
        if (*q == '\0') {
            break;
        }
        p = q;
    }
    return text;
}

jpeg_error_mgr* InstallErrorManager(TJpegErrorManager& mgr, bool* aborting) {
    jpeg_std_error(&mgr.pub);
    mgr.pub.error_exit = OnErrorExit;
    mgr.pub.emit_message = OnEmitMessage;
    mgr.pub.output_message = OnOutputMessage;
    mgr.pub.format_message = OnFormatMessage;
    mgr.aborting = aborting;
    mgr.warningCount = 0;
    mgr.lastWarningCode = 0;
    mgr.fatalCode = 0;
    mgr.failed = false;
    return &mgr.pub;
}

std::string FatalMessage(const TJpegErrorManager& mgr) {
    return JpegMessageText(mgr.pub, mgr.fatalCode);
}

// ---------------------------------------------------------------- stream source

TJpegSource::TJpegSource(TJpegByteReader& reader, bool* aborting)
    : reader_(&reader), aborting_(aborting), buffer_(new uint8_t[kJpegIoBufferSize]) {
    link_.self = this;
    link_.pub.init_source = InitSource;
    link_.pub.fill_input_buffer = FillInputBuffer;
    link_.pub.skip_input_data = SkipInputData;
    link_.pub.resync_to_restart = jpeg_resync_to_restart;
    link_.pub.term_source = TermSource;
}

void TJpegSource::Attach(j_decompress_ptr cinfo) {
    link_.pub.next_input_byte = buffer_.get();
    link_.pub.bytes_in_buffer = 0;
    cinfo->src = &link_.pub;
}

TJpegSource& TJpegSource::Self(j_decompress_ptr cinfo) {
    return *reinterpret_cast<TLink*>(cinfo->src)->self;
}

void TJpegSource::InitSource(j_decompress_ptr) {}

boolean TJpegSource::FillInputBuffer(j_decompress_ptr cinfo) {
    TJpegSource& self = Self(cinfo);
    const size_t got = self.reader_->Read(self.buffer_.get(), kJpegIoBufferSize);
    if (got == 0) {
        if (!self.anyRead_ && self.aborting_ != nullptr) {
            *self.aborting_ = true;
        }
        // The data ended before the end-of-image marker: counted like any warning.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        self.buffer_[0] = kEndOfImage[0];
        self.buffer_[1] = kEndOfImage[1];
        self.link_.pub.next_input_byte = self.buffer_.get();
        self.link_.pub.bytes_in_buffer = 2;
        return TRUE;
    }
    self.anyRead_ = true;
    self.link_.pub.next_input_byte = self.buffer_.get();
    self.link_.pub.bytes_in_buffer = got;
    return TRUE;
}

void TJpegSource::SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) {
        return;
    }
    jpeg_source_mgr& src = *cinfo->src;
    size_t remaining = static_cast<size_t>(count);
    while (remaining > src.bytes_in_buffer) {
        remaining -= src.bytes_in_buffer;
        FillInputBuffer(cinfo);  // never fails: at the end it supplies an end-of-image marker
    }
    src.next_input_byte += remaining;
    src.bytes_in_buffer -= remaining;
}

void TJpegSource::TermSource(j_decompress_ptr) {}

// ---------------------------------------------------------------- memory source

TJpegMemorySource::TJpegMemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {
    pub_.init_source = InitSource;
    pub_.fill_input_buffer = FillInputBuffer;
    pub_.skip_input_data = SkipInputData;
    pub_.resync_to_restart = jpeg_resync_to_restart;
    pub_.term_source = TermSource;
}

void TJpegMemorySource::Attach(j_decompress_ptr cinfo) {
    pub_.next_input_byte = data_;
    pub_.bytes_in_buffer = data_ != nullptr ? size_ : 0;
    cinfo->src = &pub_;
}

void TJpegMemorySource::InitSource(j_decompress_ptr) {}

boolean TJpegMemorySource::FillInputBuffer(j_decompress_ptr cinfo) {
    WARNMS(cinfo, JWRN_JPEG_EOF);
    cinfo->src->next_input_byte = kEndOfImage;
    cinfo->src->bytes_in_buffer = 2;
    return TRUE;
}

void TJpegMemorySource::SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) {
        return;
    }
    jpeg_source_mgr& src = *cinfo->src;
    size_t remaining = static_cast<size_t>(count);
    while (remaining > src.bytes_in_buffer) {
        remaining -= src.bytes_in_buffer;
        FillInputBuffer(cinfo);
    }
    src.next_input_byte += remaining;
    src.bytes_in_buffer -= remaining;
}

void TJpegMemorySource::TermSource(j_decompress_ptr) {}

// ---------------------------------------------------------------- destination

TJpegDestination::TJpegDestination(TJpegByteWriter& writer, bool* aborting)
    : writer_(&writer), aborting_(aborting), buffer_(new uint8_t[kJpegIoBufferSize]) {
    link_.self = this;
    link_.pub.init_destination = InitDestination;
    link_.pub.empty_output_buffer = EmptyOutputBuffer;
    link_.pub.term_destination = TermDestination;
}

void TJpegDestination::Attach(j_compress_ptr cinfo) { cinfo->dest = &link_.pub; }

TJpegDestination& TJpegDestination::Self(j_compress_ptr cinfo) {
    return *reinterpret_cast<TLink*>(cinfo->dest)->self;
}

void TJpegDestination::Flush(size_t size) {
    if (size == 0) {
        return;
    }
    if (writer_->Write(buffer_.get(), size) != size && aborting_ != nullptr) {
        *aborting_ = true;
    }
}

void TJpegDestination::InitDestination(j_compress_ptr cinfo) {
    TJpegDestination& self = Self(cinfo);
    self.link_.pub.next_output_byte = self.buffer_.get();
    self.link_.pub.free_in_buffer = kJpegIoBufferSize;
}

boolean TJpegDestination::EmptyOutputBuffer(j_compress_ptr cinfo) {
    // libjpeg calls this with a full buffer, whatever free_in_buffer says.
    TJpegDestination& self = Self(cinfo);
    self.Flush(kJpegIoBufferSize);
    self.link_.pub.next_output_byte = self.buffer_.get();
    self.link_.pub.free_in_buffer = kJpegIoBufferSize;
    return TRUE;
}

void TJpegDestination::TermDestination(j_compress_ptr cinfo) {
    TJpegDestination& self = Self(cinfo);
    self.Flush(kJpegIoBufferSize - self.link_.pub.free_in_buffer);
    self.link_.pub.next_output_byte = self.buffer_.get();
    self.link_.pub.free_in_buffer = kJpegIoBufferSize;
}

// ---------------------------------------------------------------- owners

TJpegDecompressor::TJpegDecompressor(bool* aborting) {
    info_.err = InstallErrorManager(errors_, aborting);
    created_ = JpegGuarded(errors_, [this] { jpeg_create_decompress(&info_); });
}

TJpegDecompressor::~TJpegDecompressor() {
    if (created_) {
        jpeg_destroy_decompress(&info_);
    }
}

TJpegCompressor::TJpegCompressor(bool* aborting) {
    info_.err = InstallErrorManager(errors_, aborting);
    created_ = JpegGuarded(errors_, [this] { jpeg_create_compress(&info_); });
}

TJpegCompressor::~TJpegCompressor() {
    if (created_) {
        jpeg_destroy_compress(&info_);
    }
}

}  // namespace luma::jpeglib
