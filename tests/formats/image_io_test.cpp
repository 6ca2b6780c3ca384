// TImageIO: extension dispatch, the load and save sequences, failure handling, parameter
// carry-over and the replacing save.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/image_io.h"
#include "formats/safe_output.h"
#include "support/test_support.h"

namespace luma {
namespace {

namespace fs = std::filesystem;

fs::path Data(const std::string& rel) { return test::TestDataDir() / rel; }

void CopyAs(const fs::path& from, const fs::path& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

// A small 24-bit image with a recognisable pattern.
void Pattern(TImageBuffer& image, int32_t w = 7, int32_t h = 5) {
    image.Allocate(w, h, pk24RGB);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            image.FillRect(x, y, x, y, MakeColor(static_cast<uint8_t>(x * 30), static_cast<uint8_t>(y * 40), 99));
}

bool SamePixels(const TImageBuffer& a, const TImageBuffer& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x)
            if (!(a.PixelRGB(x, y) == b.PixelRGB(x, y))) return false;
    return true;
}

TEST(ImageIODispatch, ExtensionTables) {
    struct Case {
        const char* name;
        int32_t load;
        int32_t save;
    };
    const Case cases[] = {
        {"PHOTO.JPG", ftJPEG, ftJPEG},        {"a.jpeg", ftJPEG, ftJPEG},
        {"a.Jpe", ftJPEG, ftJPEG},            {"photo.jpeg.bak", ftNone, ftNone},
        {"scan.TIFF", ftTIFF, ftTIFF},        {"fax.g3n", ftTIFF, ftTIFF},
        {"x.fax", ftTIFF, ftTIFF},            {"x.g3f", ftTIFF, ftTIFF},
        {"x.gif", ftGIF, ftGIF},              {"x.pcx", ftPCX, ftPCX},
        {"x.png", ftPNG, ftPNG},              {"x.bmp", ftBMP, ftBMP},
        {"x.dib", ftBMP, ftBMP},              {"x.RLE", ftBMP, ftBMP},
        {"x.wmf", ftWMF, ftNone},             {"x.emf", ftEMF, ftNone},
        {"noext", ftNone, ftNone},            {"dir.jpg/file", ftNone, ftNone},
        {"x.", ftNone, ftNone},               {"x.jpgx", ftNone, ftNone},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LoadFileTypeOf(c.name), c.load) << c.name;
        EXPECT_EQ(SaveFileTypeOf(c.name), c.save) << c.name;
    }
    EXPECT_STREQ(FileTypeDescription(ftBMP), "Windows Bitmap");
    EXPECT_STREQ(FileTypeDescription(ftJPEG), "JPEG Bitmap");
    EXPECT_STREQ(FileTypeDescription(6), "");
}

TEST(ImageIOLoad, UpperCaseJpegNameGoesToTheJpegReader) {
    test::TempDir tmp;
    CopyAs(Data("jpeg/hopper.jpg"), tmp / "PHOTO.JPG");
    TImageIO io;
    io.LoadFromFile((tmp / "PHOTO.JPG").string());
    EXPECT_FALSE(io.Aborting);
    EXPECT_EQ(io.Params().FileType, ftJPEG);
    EXPECT_EQ(io.Params().FileName, (tmp / "PHOTO.JPG").string());
    EXPECT_GT(io.Image().Width(), 0);
}

TEST(ImageIOLoad, FailuresKeepThePreviousImageAndThrowNothing) {
    test::TempDir tmp;
    CopyAs(Data("jpeg/hopper.jpg"), tmp / "photo.jpeg.bak");
    CopyAs(Data("gif/chi.gif"), tmp / "really-a-gif.png");
    TImageIO io;
    io.LoadFromFile(Data("bmp/pal8.bmp").string());
    ASSERT_FALSE(io.Aborting);
    TImageBuffer before;
    before.Assign(io.Image());

    // Unknown extension: nothing read, FileType 0.
    EXPECT_NO_THROW(io.LoadFromFile((tmp / "photo.jpeg.bak").string()));
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(io.Params().FileType, ftNone);
    EXPECT_TRUE(SamePixels(io.Image(), before));

    // Content that does not match the extension: the PNG reader fails, the load still finishes.
    EXPECT_NO_THROW(io.LoadFromFile((tmp / "really-a-gif.png").string()));
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(io.Params().FileType, ftPNG);
    EXPECT_EQ(io.Params().FileName, (tmp / "really-a-gif.png").string());
    EXPECT_TRUE(SamePixels(io.Image(), before));

    // A file that cannot be opened throws the stream error and leaves Aborting set.
    EXPECT_THROW(io.LoadFromFile((tmp / "missing.bmp").string()), EFileStreamError);
    EXPECT_TRUE(io.Aborting);
    EXPECT_TRUE(SamePixels(io.Image(), before));

    // The pixel budget applies to every reader.
    io.MaxPixels = 100;
    io.LoadFromFile(Data("bmp/pal8.bmp").string());
    EXPECT_TRUE(io.Aborting);
    EXPECT_TRUE(SamePixels(io.Image(), before));
}

TEST(ImageIOLoad, AlphaPlaneHandOverAndRemoval) {
    TImageIO io;
    io.LoadFromFile(Data("png/basn6a08.png").string());
    ASSERT_FALSE(io.Aborting);
    ASSERT_TRUE(io.Image().HasAlphaChannel());
    EXPECT_EQ(io.Image().AlphaPlane()->Width(), io.Image().Width());
    io.LoadFromFile(Data("bmp/rgb24.bmp").string());
    ASSERT_FALSE(io.Aborting);
    EXPECT_FALSE(io.Image().HasAlphaChannel());
}

TEST(ImageIOLoad, ParametersCarryOverAndPerFileInfoIsCleared) {
    TImageIO io;
    auto& p = io.Params();
    p.JpegQuality = 55;
    p.TiffCompression = 5;
    p.GifComments = {"old"};
    p.JpegMarkers.Add(0xFE, std::vector<uint8_t>{1, 2});
    p.IptcInfo.AddString(2, 120, "old caption");
    p.TiffPageName = "old page";
    io.LoadFromFile(Data("bmp/pal8os2.bmp").string());
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(p.JpegQuality, 55);
    EXPECT_EQ(p.TiffCompression, 5);
    EXPECT_TRUE(p.GifComments.empty());
    EXPECT_TRUE(p.JpegMarkers.Empty());
    EXPECT_TRUE(p.IptcInfo.Empty());
    EXPECT_TRUE(p.TiffPageName.empty());
    EXPECT_EQ(p.BmpVersion, 2);
    EXPECT_EQ(p.FileType, ftBMP);
    EXPECT_EQ(p.BitsPerSample, 8);
    EXPECT_EQ(p.SamplesPerPixel, 1);
}

TEST(ImageIOLoad, ProgressEndsAtHundredAndFinishSignalsOnce) {
    TImageIO io;
    std::vector<int32_t> seen;
    int finished = 0;
    io.OnProgress = [&](TImageIO& sender, int32_t percent) {
        EXPECT_EQ(&sender, &io);
        seen.push_back(percent);
    };
    io.OnFinishWork = [&](TImageIO&) { ++finished; };
    io.LoadFromFile(Data("bmp/pal8.bmp").string());
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), 100);
    EXPECT_EQ(finished, 1);
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i - 1], seen[i]);
}

TEST(ImageIOSave, UnknownOrImportOnlyExtensionsCreateNothing) {
    test::TempDir tmp;
    TImageIO io;
    Pattern(io.Image());
    for (const char* name : {"out.wmf", "out.emf", "out.xyz", "out"}) {
        EXPECT_NO_THROW(io.SaveToFile((tmp / name).string()));
        EXPECT_TRUE(io.Aborting) << name;
        EXPECT_FALSE(fs::exists(tmp / name)) << name;
    }
    EXPECT_TRUE(fs::is_empty(tmp.path()));
}

TEST(ImageIOSave, OutputDepthFollowsTheParameters) {
    // After a 1-bit TIFF read the record says 1 bit, 1 sample: a BMP save is 1-bit even though
    // the pixels are 24-bit colour.
    test::TempDir tmp;
    TImageIO io;
    Pattern(io.Image());
    io.Params().BitsPerSample = 1;
    io.Params().SamplesPerPixel = 1;
    io.SaveAsBMP((tmp / "out.tif").string());  // SaveAs ignores the extension
    ASSERT_FALSE(io.Aborting);
    const std::string bytes = test::ReadFileBytes(tmp / "out.tif");
    ASSERT_GT(bytes.size(), 30u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(static_cast<uint8_t>(bytes[28]), 1);
    EXPECT_EQ(io.Params().FileType, ftNone);  // saves leave FileType alone
}

TEST(ImageIOSave, PaletteAndGrayBuffersBecome24BitFirst) {
    test::TempDir tmp;
    TImageIO io;
    io.Image().Allocate(4, 4, pk8Gray);
    io.Image().Fill(128);
    io.SaveToFile((tmp / "gray.bmp").string());
    ASSERT_FALSE(io.Aborting);
    EXPECT_EQ(io.Image().PixelKind(), pk24RGB);
    EXPECT_TRUE(io.Image().PixelRGB(1, 1) == (TRGB{128, 128, 128}));
}

TEST(ImageIOSave, EmptyImageWritesNothing) {
    test::TempDir tmp;
    TImageIO io;
    io.SaveAsBMP((tmp / "empty.bmp").string());
    EXPECT_TRUE(io.Aborting);
    EXPECT_FALSE(fs::exists(tmp / "empty.bmp"));
}

TEST(ImageIOSave, FreshObjectWritesJpegQuality80) {
    // The first luminance quantizer entry of the standard table (16) at quality 80 is 6.
    test::TempDir tmp;
    TImageIO io;
    EXPECT_EQ(io.Params().JpegQuality, 80);
    Pattern(io.Image(), 16, 16);
    io.SaveAsJPEG((tmp / "q.jpg").string());
    ASSERT_FALSE(io.Aborting);
    const std::string bytes = test::ReadFileBytes(tmp / "q.jpg");
    const size_t dqt = bytes.find("\xFF\xDB");
    ASSERT_NE(dqt, std::string::npos);
    EXPECT_EQ(static_cast<uint8_t>(bytes[dqt + 4]) & 0x0F, 0);  // table 0, 8-bit entries
    EXPECT_EQ(static_cast<uint8_t>(bytes[dqt + 5]), 6);
}

TEST(ImageIOSave, ChangedIptcGoesIntoTheApp13Marker) {
    test::TempDir tmp;
    TImageIO io;
    Pattern(io.Image(), 16, 16);
    io.Params().IptcInfo.AddString(2, 120, "A caption");
    io.SaveAsJPEG((tmp / "iptc.jpg").string());
    ASSERT_FALSE(io.Aborting);
    ASSERT_EQ(io.Params().JpegMarkers.IndexOf(237), 0);

    TImageIO back;
    back.LoadFromFile((tmp / "iptc.jpg").string());
    ASSERT_FALSE(back.Aborting);
    const int32_t at = back.Params().IptcInfo.IndexOf(2, 120);
    ASSERT_GE(at, 0);
    EXPECT_EQ(back.Params().IptcInfo.StringItem(at), "A caption");
    EXPECT_FALSE(back.Params().IptcInfo.Modified());
}

TEST(ImageIOLoad, App13WithoutIptcLeavesTheListEmpty) {
    // This file's APP13 marker holds another vendor's block, not IPTC records.
    TImageIO io;
    io.Params().IptcInfo.AddString(2, 5, "from before");
    io.LoadFromFile(Data("jpeg/app13.jpg").string());
    ASSERT_FALSE(io.Aborting);
    EXPECT_GE(io.Params().JpegMarkers.IndexOf(237), 0);
    EXPECT_EQ(io.Params().IptcInfo.Count(), 0);
}

TEST(IptcInfoList, StreamAndApp13RoundTrip) {
    TIptcInfoList list;
    list.AddString(2, 5, "Title");
    list.Add(2, 25, std::vector<uint8_t>(40000, 'k'));  // extended-length dataset
    EXPECT_TRUE(list.Modified());
    TIptcInfoList back;
    ASSERT_TRUE(back.LoadFromApp13(list.SaveToApp13()));
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back.StringItem(0), "Title");
    EXPECT_EQ(back[1].Data.size(), 40000u);
    EXPECT_FALSE(back.Modified());
    // Truncated or foreign payloads are refused or cut at the last whole record.
    const auto app13 = list.SaveToApp13();
    EXPECT_FALSE(back.LoadFromApp13(std::vector<uint8_t>(app13.begin(), app13.begin() + 10)));
    back.LoadFromIptcStream(std::vector<uint8_t>{0x1C, 2, 5, 0, 9, 'a'});
    EXPECT_EQ(back.Count(), 0);
}

// --- the replacing save -----------------------------------------------------------------------

TEST(SafeOutput, FailedSaveLeavesTheOldFileAlone) {
    test::TempDir tmp;
    const fs::path dest = tmp / "keep.bmp";
    test::WriteFileBytes(dest, "precious");
    TImageIO io;
    // A 12-byte header cannot hold a width above 65535: the writer aborts.
    io.Image().Allocate(70000, 1, pk24RGB);
    io.Image().Fill(0);
    io.Params().BmpVersion = 2;
    io.SaveAsBMP(dest.string());
    EXPECT_TRUE(io.Aborting);
    EXPECT_EQ(test::ReadFileBytes(dest), "precious");
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), 1);
}

TEST(SafeOutput, UncommittedOutputIsRemovedAndCommitKeepsPermissions) {
    test::TempDir tmp;
    const fs::path dest = tmp / "out.bin";
    test::WriteFileBytes(dest, "old");
    ::chmod(dest.c_str(), 0640);
    {
        TSafeFileOutput out(dest.string());
        out.Write("new data", 8);
        EXPECT_TRUE(fs::exists(out.TempPath()));
        EXPECT_EQ(out.TempPath().parent_path(), dest.parent_path());
    }  // no commit
    EXPECT_EQ(test::ReadFileBytes(dest), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), 1);
    {
        TSafeFileOutput out(dest.string());
        out.Write("new header", 10);
        out.Write(std::string(600000, 'x').data(), 600000);  // past the write buffer
        ASSERT_TRUE(out.Seek(4));
        out.Write("HEAD", 4);
        ASSERT_TRUE(out.Seek(out.Position() + 0));
        ASSERT_TRUE(out.Commit());
    }
    const std::string bytes = test::ReadFileBytes(dest);
    EXPECT_EQ(bytes.size(), 600010u);
    EXPECT_EQ(bytes.substr(0, 10), "new HEADer");
    struct stat st {};
    ASSERT_EQ(::stat(dest.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(SafeOutput, SymlinkIsReplacedAtItsTarget) {
    test::TempDir tmp;
    const fs::path target = tmp / "real.bmp";
    const fs::path link = tmp / "link.bmp";
    test::WriteFileBytes(target, "old");
    fs::create_symlink(target, link);
    TImageIO io;
    Pattern(io.Image());
    io.SaveToFile(link.string());
    ASSERT_FALSE(io.Aborting);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(test::ReadFileBytes(target).substr(0, 2), "BM");
}

TEST(SafeOutput, UnwritableDestinationThrows) {
    test::TempDir tmp;
    TImageIO io;
    Pattern(io.Image());
    EXPECT_THROW(io.SaveAsBMP((tmp / "no-such-folder" / "x.bmp").string()), EFileStreamError);
    EXPECT_TRUE(io.Aborting);
    EXPECT_THROW(io.SaveAsBMP(tmp.path().string()), EFileStreamError);  // a folder
}

TEST(ImageIOSave, ShortWriteToAStreamAborts) {
    TImageIO io;
    Pattern(io.Image(), 50, 50);
    TMemoryOutput out(100);
    io.SaveToStream(ftBMP, out);
    EXPECT_TRUE(io.Aborting);
    EXPECT_TRUE(out.Failed());
    TMemoryOutput whole;
    io.SaveToStream(ftBMP, whole);
    EXPECT_FALSE(io.Aborting);
    TImageIO back;
    back.LoadFromBytes(whole.Bytes(), ftBMP, "memory");
    ASSERT_FALSE(back.Aborting);
    EXPECT_TRUE(SamePixels(back.Image(), io.Image()));
}

TEST(ImageIOHooks, NewRecordsCopyTheGlobalSlots) {
    const TGifLzwDecoderHook saved = GifLzwDecoder;
    GifLzwDecoder = [](TByteCursor&, int32_t, int32_t, uint8_t*, bool) { return false; };
    TIOParamsVals params;
    EXPECT_EQ(params.GifDecoder, GifLzwDecoder);
    EXPECT_EQ(params.GifDecoderToUse(), GifLzwDecoder);
    GifLzwDecoder = saved;
    TIOParamsVals empty;
    empty.GifDecoder = nullptr;
    EXPECT_EQ(empty.GifDecoderToUse(), saved);
}

}  // namespace
}  // namespace luma
