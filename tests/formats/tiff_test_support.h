#pragma once
// Helpers of the TIFF tests: a builder for small hand-made TIFF files (any byte order, several
// pages, chosen tags), running the libtiff tools and ImageMagick as peers, and pixel comparison.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "formats/byte_io.h"
#include "formats/tiff.h"
#include "imaging/image_buffer.h"
#include "support/test_support.h"

namespace luma::test {

// One page of a hand-made file: tags with their values and the strips.
struct TTestPage {
    struct TValue {
        uint16_t type = tfShort;
        std::vector<uint32_t> values;  // SHORT/LONG/BYTE values; ASCII as bytes
    };
    std::map<uint16_t, TValue> tags;
    std::vector<std::vector<uint8_t>> strips;  // StripOffsets/StripByteCounts are filled in

    TTestPage& Set(uint16_t tag, uint16_t type, std::vector<uint32_t> values) {
        tags[tag] = TValue{type, std::move(values)};
        return *this;
    }
    TTestPage& Short(uint16_t tag, uint32_t v) { return Set(tag, tfShort, {v}); }
    TTestPage& Long(uint16_t tag, uint32_t v) { return Set(tag, tfLong, {v}); }
    TTestPage& Erase(uint16_t tag) {
        tags.erase(tag);
        return *this;
    }
};

// A baseline page: width x height, one strip, uncompressed, the given layout.
inline TTestPage BasicPage(uint32_t width, uint32_t height, uint32_t bits, uint32_t samples, uint32_t photometric,
                           std::vector<uint8_t> strip) {
    TTestPage p;
    p.Long(ttImageWidth, width).Long(ttImageLength, height).Short(ttCompression, 1).Short(ttPhotometric, photometric);
    p.Set(ttBitsPerSample, tfShort, std::vector<uint32_t>(samples, bits));
    p.Short(ttSamplesPerPixel, samples).Long(ttRowsPerStrip, height);
    p.strips.push_back(std::move(strip));
    return p;
}

// Writes the pages in either byte order: header, then per page its strips, its out-of-line
// values and its directory; directories chained in order.
inline std::vector<uint8_t> BuildTiff(std::vector<TTestPage> pages, bool little = true) {
    std::vector<uint8_t> f;
    auto put16 = [&](uint32_t v) {
        uint8_t b[2];
        little ? StoreLE16(b, static_cast<uint16_t>(v)) : StoreBE16(b, static_cast<uint16_t>(v));
        f.insert(f.end(), b, b + 2);
    };
    auto put32 = [&](uint32_t v) {
        uint8_t b[4];
        little ? StoreLE32(b, v) : StoreBE32(b, v);
        f.insert(f.end(), b, b + 4);
    };
    auto patch32 = [&](size_t at, uint32_t v) { little ? StoreLE32(&f[at], v) : StoreBE32(&f[at], v); };
    f.push_back(little ? 'I' : 'M');
    f.push_back(little ? 'I' : 'M');
    put16(42);
    size_t link = f.size();
    put32(0);
    for (TTestPage& page : pages) {
        std::vector<uint32_t> offsets, counts;
        for (const auto& s : page.strips) {
            offsets.push_back(static_cast<uint32_t>(f.size()));
            counts.push_back(static_cast<uint32_t>(s.size()));
            f.insert(f.end(), s.begin(), s.end());
        }
        if (!page.strips.empty()) {
            page.Set(ttStripOffsets, tfLong, offsets);
            page.Set(ttStripByteCounts, tfLong, counts);
        }
        // Out-of-line values first.
        std::map<uint16_t, uint32_t> where;
        for (const auto& [tag, v] : page.tags) {
            const uint32_t size = TiffTypeSize(v.type) * static_cast<uint32_t>(v.values.size());
            if (size <= 4) continue;
            if (f.size() & 1) f.push_back(0);
            where[tag] = static_cast<uint32_t>(f.size());
            for (uint32_t x : v.values) {
                if (v.type == tfShort) put16(x);
                else if (v.type == tfLong) put32(x);
                else if (v.type == tfRational) { put32(x); put32(1); }
                else f.push_back(static_cast<uint8_t>(x));
            }
        }
        if (f.size() & 1) f.push_back(0);
        patch32(link, static_cast<uint32_t>(f.size()));
        put16(static_cast<uint32_t>(page.tags.size()));
        for (const auto& [tag, v] : page.tags) {
            put16(tag);
            put16(v.type);
            put32(static_cast<uint32_t>(v.values.size()));
            const uint32_t size = TiffTypeSize(v.type) * static_cast<uint32_t>(v.values.size());
            if (size > 4) {
                put32(where[tag]);
            } else {
                const size_t start = f.size();
                for (uint32_t x : v.values) {
                    if (v.type == tfShort) put16(x);
                    else if (v.type == tfLong) put32(x);
                    else f.push_back(static_cast<uint8_t>(x));
                }
                while (f.size() < start + 4) f.push_back(0);
            }
        }
        link = f.size();
        put32(0);
    }
    return f;
}

// True when `tool` is on the PATH.
inline bool HaveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command quietly; its exit status.
inline int RunTool(const std::string& command) {
    const int rc = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

inline std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

// Every pixel as RGB (1-bit and 24-bit buffers).
inline std::vector<TRGB> PixelsOf(const TImageBuffer& image) {
    std::vector<TRGB> v;
    v.reserve(static_cast<size_t>(image.Width()) * static_cast<size_t>(image.Height()));
    for (int32_t y = 0; y < image.Height(); ++y)
        for (int32_t x = 0; x < image.Width(); ++x) v.push_back(image.PixelRGB(x, y));
    return v;
}

// Largest per-channel difference of two images of the same size (-1 when the sizes differ).
inline int MaxPixelDiff(const TImageBuffer& a, const TImageBuffer& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return -1;
    int worst = 0;
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x) {
            const TRGB p = a.PixelRGB(x, y), q = b.PixelRGB(x, y);
            worst = std::max({worst, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
        }
    return worst;
}

}  // namespace luma::test
