// Adapters between the I/O object's coder hooks and the memory-based LZW coders.

#include "formats/lzw_coders.h"

#include "formats/byte_io.h"
#include "formats/gif_lzw.h"
#include "formats/tiff_lzw.h"

namespace luma {
namespace {

struct TiffDecodeState final : TLzwCoderState {
    TTiffLzwDecoder decoder;
};

struct TiffEncodeState final : TLzwCoderState {
    TTiffLzwEncoder encoder;
};

}  // namespace

bool GifLzwDecodeHook(TByteCursor& input, int32_t height, int32_t width, uint8_t* indices, bool interlaced) {
    const TGifLzwDecodeResult r = GifLzwDecode(input.Data().subspan(input.Position()), width, height, interlaced, indices);
    if (!r.ok) return false;
    input.Skip(r.consumed);
    return true;
}

void GifLzwEncodeHook(TOutputStream& output, int32_t height, int32_t width, int32_t bitsPerPixel,
                      const uint8_t* indices, bool interlaced) {
    std::vector<uint8_t> bytes;
    GifLzwEncode(indices, width, height, bitsPerPixel, interlaced, bytes);
    output.Write(bytes);
}

bool TiffLzwDecodeHook(std::span<const uint8_t> compressed, std::span<uint8_t> row, TLzwStatePtr& state) {
    if (compressed.empty() && row.empty()) {
        state.reset();
        return true;
    }
    if (!state) {
        auto fresh = std::make_unique<TiffDecodeState>();
        fresh->decoder.Reset(compressed);
        state = std::move(fresh);
    }
    auto* s = dynamic_cast<TiffDecodeState*>(state.get());
    if (s == nullptr) return false;
    const size_t n = s->decoder.DecodeRow(row);
    // A stream that simply stops inside a row (no end code) still yields that row, zero-padded.
    if (s->decoder.Failed()) return false;
    return n > 0 || row.empty();
}

void TiffLzwEncodeHook(std::span<const uint8_t> row, std::vector<uint8_t>& output, TLzwStatePtr& state) {
    auto* s = dynamic_cast<TiffEncodeState*>(state.get());
    if (s == nullptr) {
        auto fresh = std::make_unique<TiffEncodeState>();
        fresh->encoder.Reset(output);
        s = fresh.get();
        state = std::move(fresh);
    }
    s->encoder.Redirect(output);
    if (row.empty()) {
        s->encoder.Finish();
        state.reset();
        return;
    }
    s->encoder.Encode(row);
}

void InstallLzwCoders() {
    GifLzwDecoder = &GifLzwDecodeHook;
    GifLzwEncoder = &GifLzwEncodeHook;
    TiffLzwDecoder = &TiffLzwDecodeHook;
    TiffLzwEncoder = &TiffLzwEncodeHook;
}

}  // namespace luma
