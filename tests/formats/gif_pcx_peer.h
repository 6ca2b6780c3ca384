#pragma once
// Shared helpers of the GIF and PCX tests: pictures built in memory, reading reference decodes
// (PNG files) through our own I/O object, and a peer decoder/encoder (Pillow) run as a program.
// A missing peer makes the calling test skip.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "formats/image_io.h"
#include "formats/lzw_coders.h"
#include "support/pictures.h"
#include "support/test_support.h"

namespace luma::test {

// A picture of exactly `colors` distinct colours (colors <= 256) in stripes and blocks.
inline void MakePaletteBlocks(TImageBuffer& image, int32_t width, int32_t height, int32_t colors) {
    MakePicture(image, width, height, [&](int32_t x, int32_t y) {
        const int32_t i = (x / 3 + (y / 2) * 7) % colors;
        return TRGB{static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 11 + 5)};
    });
}

// Every pixel as RGB (works for 1-bit and 24-bit buffers).
inline std::vector<TRGB> Pixels(const TImageBuffer& image) {
    std::vector<TRGB> v;
    v.reserve(static_cast<size_t>(image.Width()) * static_cast<size_t>(image.Height()));
    for (int32_t y = 0; y < image.Height(); ++y)
        for (int32_t x = 0; x < image.Width(); ++x) v.push_back(image.PixelRGB(x, y));
    return v;
}

inline std::vector<uint8_t> AlphaValues(TImageBuffer& image) {
    std::vector<uint8_t> v;
    TImageBuffer* a = image.AlphaPlane();
    if (a == nullptr) return v;
    for (int32_t y = 0; y < a->Height(); ++y) v.insert(v.end(), a->ScanLine(y), a->ScanLine(y) + a->Width());
    return v;
}

// Decoded picture as flat RGB plus alpha (255 where there is none).
struct Decoded {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<TRGB> rgb;
    std::vector<uint8_t> alpha;
};

// Pillow's decode of the first image of a file, as RGBA.
inline std::optional<Decoded> PillowDecode(const std::filesystem::path& file, const std::filesystem::path& scratch) {
    const std::string py = PillowPython();
    if (py.empty()) return std::nullopt;
    const std::filesystem::path raw = scratch / "pillow.raw";
    const std::string script =
        "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\nim.seek(0)\nim = im.convert('RGBA')\n"
        "open(sys.argv[2], 'wb').write(b'%d %d\\n' % im.size + im.tobytes())\n";
    WriteFileBytes(scratch / "decode.py", script);
    if (RunQuiet(ShellQuote(py) + " " + ShellQuote(scratch / "decode.py") + " " + ShellQuote(file) + " " + ShellQuote(raw)) != 0)
        return std::nullopt;
    const std::string bytes = ReadFileBytes(raw);
    const size_t nl = bytes.find('\n');
    Decoded d;
    if (nl == std::string::npos || std::sscanf(bytes.c_str(), "%d %d", &d.width, &d.height) != 2) return std::nullopt;
    const size_t n = static_cast<size_t>(d.width) * static_cast<size_t>(d.height);
    if (bytes.size() != nl + 1 + n * 4) return std::nullopt;
    for (size_t i = 0; i < n; ++i) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + nl + 1 + i * 4);
        d.rgb.push_back(TRGB{p[2], p[1], p[0]});
        d.alpha.push_back(p[3]);
    }
    return d;
}

// Has Pillow write `picture` (24-bit) into `file` after running `convert` (Python expression on
// `im`, e.g. "im.convert('1')"); the file type follows the extension; `options` go to save().
inline bool PillowEncode(const TImageBuffer& picture, const std::filesystem::path& file, const std::string& convert,
                         const std::filesystem::path& scratch, const std::string& options = "") {
    const std::string py = PillowPython();
    if (py.empty()) return false;
    std::string raw;
    for (int32_t y = 0; y < picture.Height(); ++y)
        for (int32_t x = 0; x < picture.Width(); ++x) {
            const TRGB c = picture.PixelRGB(x, y);
            raw += static_cast<char>(c.r);
            raw += static_cast<char>(c.g);
            raw += static_cast<char>(c.b);
        }
    WriteFileBytes(scratch / "in.raw", raw);
    const std::string script = "import sys\nfrom PIL import Image\nim = Image.frombytes('RGB', (" +
                               std::to_string(picture.Width()) + ", " + std::to_string(picture.Height()) +
                               "), open(sys.argv[1], 'rb').read())\nim = " + convert + "\nim.save(sys.argv[2]" +
                               (options.empty() ? "" : ", " + options) + ")\n";
    WriteFileBytes(scratch / "encode.py", script);
    return RunQuiet(ShellQuote(py) + " " + ShellQuote(scratch / "encode.py") + " " + ShellQuote(scratch / "in.raw") + " " +
                    ShellQuote(file)) == 0;
}

inline std::string ImageMagickCommand() {
    for (const char* name : {"convert-im6.q16", "magick", "convert"})
        if (HaveCommand(name)) return name;
    return {};
}

// ImageMagick's decode of the first image of a file, as RGB (no alpha).
inline std::optional<Decoded> ImageMagickDecode(const std::filesystem::path& file, const std::filesystem::path& scratch) {
    const std::string im = ImageMagickCommand();
    if (im.empty()) return std::nullopt;
    const std::filesystem::path ppm = scratch / "magick.ppm";
    if (RunQuiet("MAGICK_THREAD_LIMIT=1 " + im + " " + ShellQuote(file.string() + "[0]") + " -depth 8 " +
                 ShellQuote("ppm:" + ppm.string())) != 0)
        return std::nullopt;
    const std::string bytes = ReadFileBytes(ppm);
    Decoded d;
    int maxValue = 0, consumed = 0;
    if (std::sscanf(bytes.c_str(), "P6 %d %d %d%n", &d.width, &d.height, &maxValue, &consumed) != 3 || maxValue != 255) return std::nullopt;
    const size_t start = static_cast<size_t>(consumed) + 1;
    const size_t n = static_cast<size_t>(d.width) * static_cast<size_t>(d.height);
    if (bytes.size() != start + n * 3) return std::nullopt;
    for (size_t i = 0; i < n; ++i) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + start + i * 3);
        d.rgb.push_back(TRGB{p[2], p[1], p[0]});
    }
    return d;
}

// A reference decode (PNG) read with our own PNG reader.
inline std::optional<Decoded> ReadReference(const std::filesystem::path& png) {
    if (!std::filesystem::exists(png)) return std::nullopt;
    TImageIO io;
    io.LoadFromFile(png.string());
    if (io.Aborting) return std::nullopt;
    Decoded d;
    d.width = io.Image().Width();
    d.height = io.Image().Height();
    d.rgb = Pixels(io.Image());
    return d;
}

// Number of pixels where our picture and a decode differ (colour compared only where both are
// opaque when `compareAlpha`, and then alpha compared as transparent or not).
inline size_t CountDifferences(TImageBuffer& ours, const Decoded& theirs, bool compareAlpha) {
    if (ours.Width() != theirs.width || ours.Height() != theirs.height) return SIZE_MAX;
    const std::vector<TRGB> rgb = Pixels(ours);
    std::vector<uint8_t> alpha = AlphaValues(ours);
    if (alpha.empty()) alpha.assign(rgb.size(), 255);
    size_t diff = 0;
    for (size_t i = 0; i < rgb.size(); ++i) {
        const bool theirOpaque = theirs.alpha.empty() || theirs.alpha[i] != 0;
        if (compareAlpha && !theirs.alpha.empty() && (alpha[i] == 0) != (theirs.alpha[i] == 0)) {
            ++diff;
            continue;
        }
        if ((!compareAlpha || theirOpaque) && !(rgb[i] == theirs.rgb[i])) ++diff;
    }
    return diff;
}

// Pillow writes `picture` into `file` (see PillowEncode); our reader and Pillow's then decode
// that file to the same pixels.
inline testing::AssertionResult ReadsLikePillow(const TImageBuffer& picture, const std::filesystem::path& file,
                                                const std::string& convert, const std::filesystem::path& scratch,
                                                const std::string& options, bool compareAlpha) {
    if (!PillowEncode(picture, file, convert, scratch, options)) return testing::AssertionFailure() << "Pillow did not write the file";
    TImageIO ours;
    ours.LoadFromFile(file.string());
    if (ours.Aborting) return testing::AssertionFailure() << "our reader gave up";
    const auto theirs = PillowDecode(file, scratch);
    if (!theirs) return testing::AssertionFailure() << "Pillow did not decode the file";
    const size_t differences = CountDifferences(ours.Image(), *theirs, compareAlpha);
    if (differences != 0) return testing::AssertionFailure() << differences << " pixels differ";
    return testing::AssertionSuccess();
}

}  // namespace luma::test
