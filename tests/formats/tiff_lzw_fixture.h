#pragma once
// A minimal one-strip TIFF container for cross-checking the strip codecs with libtiff's tools
// (tests skip when a tool is missing; see HaveCommand and RunQuiet in the shared test support).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace luma::test {

struct MiniTiff {
    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bitsPerSample = 8;
    uint16_t samplesPerPixel = 1;
    uint16_t photometric = 1;
    uint16_t compression = 1;
    uint16_t fillOrder = 1;
    uint16_t predictor = 1;
    uint32_t t4Options = 0;
    std::vector<uint8_t> strip;
};

inline void PutLe16(std::string& s, uint32_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void PutLe32(std::string& s, uint32_t v) {
    PutLe16(s, v & 0xFFFF);
    PutLe16(s, v >> 16);
}

// Little-endian file: header, strip, then the directory.
inline std::string BuildMiniTiff(const MiniTiff& t) {
    std::string s = "II";
    PutLe16(s, 42);
    const uint32_t stripOffset = 8;
    uint32_t ifd = stripOffset + static_cast<uint32_t>(t.strip.size());
    ifd += ifd & 1;
    PutLe32(s, ifd);
    s.append(reinterpret_cast<const char*>(t.strip.data()), t.strip.size());
    if (s.size() & 1) s.push_back('\0');
    struct Entry { uint16_t tag, type; uint32_t value; };
    std::vector<Entry> entries = {
        {256, 4, t.width}, {257, 4, t.height}, {258, 3, t.bitsPerSample}, {259, 3, t.compression},
        {262, 3, t.photometric}, {266, 3, t.fillOrder}, {273, 4, stripOffset},
        {277, 3, t.samplesPerPixel}, {278, 4, t.height}, {279, 4, static_cast<uint32_t>(t.strip.size())},
    };
    if (t.compression == 3) entries.push_back({292, 4, t.t4Options});
    if (t.predictor != 1) entries.push_back({317, 3, t.predictor});
    PutLe16(s, static_cast<uint32_t>(entries.size()));
    for (const Entry& e : entries) {
        PutLe16(s, e.tag);
        PutLe16(s, e.type);
        PutLe32(s, 1);
        if (e.type == 3) {
            PutLe16(s, e.value);
            PutLe16(s, 0);
        } else {
            PutLe32(s, e.value);
        }
    }
    PutLe32(s, 0);
    return s;
}

// Reads back a TIFF of one strip written by a peer (either byte order); nothing on anything else.
inline std::optional<MiniTiff> ParseMiniTiff(const std::string& s) {
    if (s.size() < 8) return std::nullopt;
    const bool little = s[0] == 'I';
    auto u8 = [&](size_t at) -> uint32_t { return at < s.size() ? static_cast<uint8_t>(s[at]) : 0u; };
    auto u16 = [&](size_t at) -> uint32_t {
        return little ? u8(at) | (u8(at + 1) << 8) : (u8(at) << 8) | u8(at + 1);
    };
    auto u32 = [&](size_t at) -> uint32_t {
        return little ? u16(at) | (u16(at + 2) << 16) : (u16(at) << 16) | u16(at + 2);
    };
    MiniTiff t;
    const uint32_t ifd = u32(4);
    const uint32_t count = u16(ifd);
    uint32_t offset = 0, bytes = 0, strips = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t e = ifd + 2 + i * 12;
        const uint32_t tag = u16(e), type = u16(e + 2), n = u32(e + 4);
        const uint32_t value = type == 3 ? u16(e + 8) : u32(e + 8);
        switch (tag) {
            case 256: t.width = value; break;
            case 257: t.height = value; break;
            case 258: t.bitsPerSample = static_cast<uint16_t>(n == 1 ? value : u16(u32(e + 8))); break;
            case 259: t.compression = static_cast<uint16_t>(value); break;
            case 262: t.photometric = static_cast<uint16_t>(value); break;
            case 266: t.fillOrder = static_cast<uint16_t>(value); break;
            case 273: offset = value; strips = n; break;
            case 277: t.samplesPerPixel = static_cast<uint16_t>(value); break;
            case 279: bytes = value; break;
            case 292: t.t4Options = value; break;
            case 317: t.predictor = static_cast<uint16_t>(value); break;
            default: break;
        }
    }
    if (strips != 1 || static_cast<size_t>(offset) + bytes > s.size()) return std::nullopt;
    t.strip.assign(s.begin() + offset, s.begin() + offset + bytes);
    return t;
}

}  // namespace luma::test
