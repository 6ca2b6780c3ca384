#pragma once
// Shared helpers of the JPEG and PNG tests: running a reader or writer on bytes in memory,
// synthetic images, comparing pixels, and decoding our files with a peer decoder (Pillow).

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formats/format_codec.h"
#include "imaging/image_buffer.h"
#include "imaging/plane_mask.h"
#include "support/test_support.h"

namespace luma::test {

inline std::vector<uint8_t> ToBytes(const std::string& s) { return {s.begin(), s.end()}; }
inline std::string ToString(const std::vector<uint8_t>& v) { return {v.begin(), v.end()}; }

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& file) {
    return ToBytes(ReadFileBytes(file));
}

// The result of one reader run.
struct TDecoded {
    std::unique_ptr<TImageBuffer> image = std::make_unique<TImageBuffer>();
    TIOParamsVals params;
    TPlaneMask alpha;
    bool aborting = false;
};

// Runs `reader` on `bytes` with `params` as the record before the read.
inline std::unique_ptr<TDecoded> Decode(TFormatReader reader, const std::vector<uint8_t>& bytes,
                                        const TIOParamsVals& params = TIOParamsVals()) {
    auto d = std::make_unique<TDecoded>();
    d->params = params;
    TIOProgress progress(d->aborting, nullptr);
    reader(bytes, *d->image, d->params, d->alpha, progress);
    return d;
}

// Runs `writer`; returns the bytes and whether Aborting was set. Exceptions pass through.
inline std::vector<uint8_t> Encode(TFormatWriter writer, const TImageBuffer& image,
                                   TIOParamsVals& params, const TPlaneMask* alpha = nullptr,
                                   bool* abortingOut = nullptr) {
    bool aborting = false;
    TMemoryOutput output;
    output.SetAbortFlag(&aborting);
    TIOProgress progress(aborting, nullptr);
    writer(output, image, params, alpha, progress);
    if (abortingOut != nullptr) *abortingOut = aborting;
    return output.Bytes();
}

// A 24-bit image with smooth colour gradients (compresses well, exercises all channels).
inline std::unique_ptr<TImageBuffer> MakeGradient(int32_t width, int32_t height) {
    auto image = std::make_unique<TImageBuffer>();
    image->Allocate(width, height, pk24RGB);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = image->ScanLine(y);
        for (int32_t x = 0; x < width; ++x) {
            row[x * 3 + 0] = static_cast<uint8_t>(255 * x / std::max(1, width - 1));         // blue
            row[x * 3 + 1] = static_cast<uint8_t>(255 * y / std::max(1, height - 1));        // green
            row[x * 3 + 2] = static_cast<uint8_t>(255 - 255 * x / std::max(1, width - 1));   // red
        }
    }
    return image;
}

// Largest per-channel difference between a pk24RGB buffer and blue, green, red rows given as
// red, green, blue bytes (`rgb`, width x height x 3), counting only pixels whose `alpha` (when
// given) is non-zero.
inline int MaxDiffToRgb(const TImageBuffer& image, const std::vector<uint8_t>& rgb,
                        const std::vector<uint8_t>* alpha = nullptr) {
    int worst = 0;
    const int32_t w = image.Width();
    for (int32_t y = 0; y < image.Height(); ++y) {
        const uint8_t* row = image.ScanLine(y);
        for (int32_t x = 0; x < w; ++x) {
            const size_t i = static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
            if (alpha != nullptr && (*alpha)[i] == 0) continue;
            for (int c = 0; c < 3; ++c) {
                const int ours = row[x * 3 + (2 - c)];
                worst = std::max(worst, std::abs(ours - rgb[i * 3 + static_cast<size_t>(c)]));
            }
        }
    }
    return worst;
}

// Mean absolute per-channel difference between two pk24RGB buffers of the same size.
inline double MeanDiff(const TImageBuffer& a, const TImageBuffer& b) {
    double sum = 0;
    for (int32_t y = 0; y < a.Height(); ++y) {
        const uint8_t* ra = a.ScanLine(y);
        const uint8_t* rb = b.ScanLine(y);
        for (int32_t i = 0; i < a.Width() * 3; ++i) sum += std::abs(ra[i] - rb[i]);
    }
    return sum / (static_cast<double>(a.Width()) * a.Height() * 3);
}

// What a peer decoder made of a file: its mode, size, a few facts and the pixels as RGBA.
struct TPeerImage {
    std::string mode;
    int32_t width = 0;
    int32_t height = 0;
    std::string facts;             // "progressive", "interlace", "transparency=<v>" ...
    std::vector<uint8_t> rgba;     // width x height x 4
};

// The Python interpreter that has Pillow, or empty when none has.
inline std::string PeerPython() {
    static const std::string found = [] {
        for (const char* candidate : {"/usr/bin/python3", "python3"}) {
            const std::string probe =
                std::string(candidate) + " -c \"import PIL\" >/dev/null 2>&1";
            if (std::system(probe.c_str()) == 0) return std::string(candidate);
        }
        return std::string();
    }();
    return found;
}

// Decodes `file` with Pillow; empty when Pillow is missing or cannot read the file.
inline std::optional<TPeerImage> PeerDecode(const std::filesystem::path& file) {
    const std::string python = PeerPython();
    if (python.empty()) return std::nullopt;
    static const char* kScript =
        "import sys\n"
        "from PIL import Image\n"
        "im = Image.open(sys.argv[1]); im.load()\n"
        "facts = []\n"
        "if im.info.get('progressive') or im.info.get('progression'): facts.append('progressive')\n"
        "if im.info.get('interlace'): facts.append('interlace')\n"
        "if 'transparency' in im.info: facts.append('transparency=%s' % (im.info['transparency'],))\n"
        "out = sys.stdout.buffer\n"
        "out.write(('%s %d %d %s\\n' % (im.mode, im.width, im.height, ','.join(facts) or '-')).encode())\n"
        "out.write(im.convert('RGBA').tobytes())\n";
    TempDir dir;
    const std::filesystem::path script = dir / "peer.py";
    WriteFileBytes(script, kScript);
    const std::string command = python + " \"" + script.string() + "\" \"" + file.string() + "\" 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    std::string out;
    std::array<char, 65536> chunk{};
    size_t n = 0;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) out.append(chunk.data(), n);
    if (pclose(pipe) != 0) return std::nullopt;
    const size_t eol = out.find('\n');
    if (eol == std::string::npos) return std::nullopt;
    TPeerImage peer;
    char mode[16] = {};
    char facts[256] = {};
    if (std::sscanf(out.substr(0, eol).c_str(), "%15s %d %d %255s", mode, &peer.width,
                    &peer.height, facts) != 4) {
        return std::nullopt;
    }
    peer.mode = mode;
    peer.facts = facts;
    peer.rgba.assign(out.begin() + static_cast<std::ptrdiff_t>(eol + 1), out.end());
    if (peer.rgba.size() != static_cast<size_t>(peer.width) * static_cast<size_t>(peer.height) * 4) {
        return std::nullopt;
    }
    return peer;
}

// RGB and alpha parts of a peer's RGBA pixels.
inline std::vector<uint8_t> RgbOf(const TPeerImage& peer) {
    std::vector<uint8_t> rgb;
    rgb.reserve(peer.rgba.size() / 4 * 3);
    for (size_t i = 0; i < peer.rgba.size(); i += 4) {
        rgb.insert(rgb.end(), peer.rgba.begin() + static_cast<std::ptrdiff_t>(i),
                   peer.rgba.begin() + static_cast<std::ptrdiff_t>(i + 3));
    }
    return rgb;
}
inline std::vector<uint8_t> AlphaOf(const TPeerImage& peer) {
    std::vector<uint8_t> a;
    for (size_t i = 3; i < peer.rgba.size(); i += 4) a.push_back(peer.rgba[i]);
    return a;
}

}  // namespace luma::test
