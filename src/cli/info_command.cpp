// lumatrans-cli info [--index N] FILE...
//
// Reads each file through the I/O object and prints what the read found, one "name: value" line
// each, with a blank line between files. Each file gets a fresh I/O object, so nothing of one file
// shows up in the next one's report.

#include <charconv>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "formats/image_io.h"

namespace luma::cli {

namespace {

constexpr const char* kInfoUsage =
    "Usage: lumatrans-cli info [--index N] FILE...\n"
    "\n"
    "Reads each image file and prints what was found: format, size, depth, resolution,\n"
    "palette, alpha plane and the format's own fields.\n"
    "\n"
    "Options:\n"
    "  --index N    read image N (from 0) of a multi-image GIF or page N of a TIFF file\n"
    "\n"
    "Exit status: 0 all files read, 1 a file could not be read, 2 usage error.\n";

void Line(const char* name, const std::string& value) {
    std::printf("%s: %s\n", name, value.c_str());
}
void Line(const char* name, int64_t value) { std::printf("%s: %lld\n", name, static_cast<long long>(value)); }
void Flag(const char* name, bool value) { Line(name, std::string(value ? "yes" : "no")); }
void Color(const char* name, TRGB c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", c.r, c.g, c.b);
    Line(name, std::string(text));
}

void PrintFormatFields(const TIOParamsVals& p) {
    switch (p.FileType) {
    case ftBMP:
        Line("BmpVersion", p.BmpVersion);
        Line("BmpCompression", p.BmpCompression);
        break;
    case ftJPEG:
        Line("JpegColorSpace", p.JpegColorSpace);
        Flag("JpegProgressive", p.JpegProgressive);
        Line("JpegScaleUsed", p.JpegScaleUsed);
        Line("JpegOriginalWidth", p.JpegOriginalWidth);
        Line("JpegOriginalHeight", p.JpegOriginalHeight);
        Line("JpegWarningCount", p.JpegWarningCount);
        Line("JpegMarkers", p.JpegMarkers.Count());
        Line("IptcRecords", p.IptcInfo.Count());
        break;
    case ftPNG:
        Flag("PngInterlaced", p.PngInterlaced);
        Color("PngBackground", p.PngBackground);
        break;
    case ftGIF:
        Line("GifVersion", p.GifVersion);
        Line("GifImageIndex", p.GifImageIndex);
        Line("GifImageCount", p.GifImageCount);
        Line("GifWinWidth", p.GifWinWidth);
        Line("GifWinHeight", p.GifWinHeight);
        Line("GifXPos", p.GifXPos);
        Line("GifYPos", p.GifYPos);
        Flag("GifInterlaced", p.GifInterlaced);
        Line("GifDelayTime", p.GifDelayTime);
        Flag("GifHasTransparentColor", p.GifHasTransparentColor);
        Color("GifTransparentColor", p.GifTransparentColor);
        Color("GifBackground", p.GifBackground);
        Line("GifComments", static_cast<int64_t>(p.GifComments.size()));
        break;
    case ftPCX:
        Line("PcxVersion", p.PcxVersion);
        Line("PcxCompression", p.PcxCompression);
        break;
    case ftTIFF:
        Line("TiffImageIndex", p.TiffImageIndex);
        Line("TiffImageCount", p.TiffImageCount);
        Line("TiffCompression", p.TiffCompression);
        Line("TiffPhotometric", p.TiffPhotometric);
        Line("TiffPlanarConfig", p.TiffPlanarConfig);
        Line("TiffOrientation", p.TiffOrientation);
        Line("TiffPageNumber", p.TiffPageNumber);
        Line("TiffPageCount", p.TiffPageCount);
        Line("TiffXPos", p.TiffXPos);
        Line("TiffYPos", p.TiffYPos);
        Line("TiffDocumentName", p.TiffDocumentName);
        Line("TiffImageDescription", p.TiffImageDescription);
        Line("TiffPageName", p.TiffPageName);
        break;
    default: break;
    }
}

// Reads one file and prints its report; false when the read failed.
bool InfoOne(const std::string& fileName, int32_t index) {
    TImageIO io;
    io.Params().GifImageIndex = index;
    io.Params().TiffImageIndex = index;
    std::printf("File: %s\n", fileName.c_str());
    try {
        io.LoadFromFile(fileName);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "lumatrans-cli info: %s\n", e.what());
        Flag("Aborting", true);
        return false;
    }
    const TIOParamsVals& p = io.Params();
    Line("FileType", p.FileType);
    Line("Description", std::string(FileTypeDescription(p.FileType)));
    Line("Width", p.Width);
    Line("Height", p.Height);
    Line("BitsPerSample", p.BitsPerSample);
    Line("SamplesPerPixel", p.SamplesPerPixel);
    Line("DpiX", p.DpiX);
    Line("DpiY", p.DpiY);
    Line("ColorMapCount", p.ColorMapCount);
    Flag("Alpha", io.Image().HasAlphaChannel());
    PrintFormatFields(p);
    Flag("Aborting", io.Aborting);
    return !io.Aborting;
}

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
    int32_t index = 0;
    std::vector<std::string> files;
    bool optionsDone = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!optionsDone && (a == "--help" || a == "-h")) {
            std::fputs(kInfoUsage, stdout);
            return 0;
        }
        if (!optionsDone && a == "--") {
            optionsDone = true;
        } else if (!optionsDone && a == "--index") {
            if (i + 1 >= args.size()) {
                std::fputs("lumatrans-cli info: --index needs a number\n", stderr);
                return 2;
            }
            const std::string& v = args[++i];
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), index);
            if (ec != std::errc() || end != v.data() + v.size() || index < 0) {
                std::fprintf(stderr, "lumatrans-cli info: bad --index value '%s'\n", v.c_str());
                return 2;
            }
        } else if (!optionsDone && a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "lumatrans-cli info: unknown option '%s'\n\n%s", a.c_str(), kInfoUsage);
            return 2;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        std::fputs(kInfoUsage, stderr);
        return 2;
    }
    bool allRead = true;
    for (size_t i = 0; i < files.size(); ++i) {
        if (i > 0) std::fputc('\n', stdout);
        allRead = InfoOne(files[i], index) && allRead;
    }
    std::fflush(stdout);
    return allRead ? 0 : 1;
}

}  // namespace luma::cli
