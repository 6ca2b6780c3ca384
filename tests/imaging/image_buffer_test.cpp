#include "imaging/image_buffer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "imaging/gray.h"
#include "imaging/plane_mask.h"
#include "imaging/surface.h"

namespace luma {
namespace {

// A buffer that will keep its pixels in the given storage: a threshold of 0 sends every
// allocation to a temporary file, the largest one keeps it in memory.
std::unique_ptr<TImageBuffer> NewBuffer(TPixelStorage storage) {
    auto b = std::make_unique<TImageBuffer>();
    b->SetTempFileThreshold(storage == psTempFile ? 0 : INT64_MAX);
    if (storage != psTempFile) b->SetStorage(storage);
    return b;
}

void SetRGB(TImageBuffer& b, int32_t x, int32_t y, TRGB c) {
    uint8_t* p = b.ScanLine(y) + 3 * x;
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
}

bool Bit(const TImageBuffer& b, int32_t x, int32_t y) {
    return (b.ScanLine(y)[x >> 3] >> (7 - (x & 7))) & 1;
}

void SetBit(TImageBuffer& b, int32_t x, int32_t y, bool on) {
    uint8_t& byte = b.ScanLine(y)[x >> 3];
    const auto mask = static_cast<uint8_t>(0x80u >> (x & 7));
    byte = on ? static_cast<uint8_t>(byte | mask) : static_cast<uint8_t>(byte & ~mask);
}

// 8-bit gray image whose pixel (x, y) is (x + 7 y) mod 256.
void FillPattern8(TImageBuffer& b) {
    for (int32_t y = 0; y < b.Height(); ++y) {
        for (int32_t x = 0; x < b.Width(); ++x) b.ScanLine(y)[x] = static_cast<uint8_t>(x + 7 * y);
    }
}

constexpr uint8_t kDither[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

TEST(ImageBufferLayout, RowLenTable) {
    struct Case { int32_t width; TPixelKind kind; int32_t rowLen; };
    const Case cases[] = {
        {1, pk1Bit, 4}, {3, pk24RGB, 12}, {10, pk8Gray, 12}, {33, pk1Bit, 8},
        {32, pk1Bit, 4}, {3, pk16Gray, 8}, {4, pk8Palette, 4},
    };
    for (const Case& c : cases) {
        TImageBuffer b;
        b.Allocate(c.width, 2, c.kind);
        EXPECT_EQ(b.RowLen(), c.rowLen) << "width " << c.width << " kind " << int(c.kind);
        EXPECT_EQ(b.BitCount(), KindBitCount(c.kind));
    }
}

TEST(ImageBufferLayout, EmptyAndInvalidAllocations) {
    TImageBuffer b;
    EXPECT_EQ(b.PixelKind(), pkNone);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.PixelRGB(0, 0), (TRGB{0, 0, 0}));
    b.Allocate(0, 5, pk24RGB);
    EXPECT_TRUE(b.Empty());
    b.Allocate(5, -1, pk24RGB);
    EXPECT_TRUE(b.Empty());
    b.Allocate(4, 4, pkNone);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.PixelRGB(0, 0), (TRGB{0, 0, 0}));
}

TEST(ImageBufferLayout, PhysicalRowOrderPerStorage) {
    // Memory keeps the top row at the end of its block, the temporary file at its start.
    auto mem = NewBuffer(psMemory);
    mem->Allocate(5, 3, pk8Gray);
    ASSERT_EQ(mem->Storage(), psMemory);
    EXPECT_EQ(mem->ScanLine(0) - mem->ScanLine(1), mem->RowLen());

    auto file = NewBuffer(psTempFile);
    file->Allocate(5, 3, pk8Gray);
    ASSERT_EQ(file->Storage(), psTempFile);
    EXPECT_EQ(file->ScanLine(1) - file->ScanLine(0), file->RowLen());

    // The temporary file is mapped, carries the prefix and is already unlinked.
    std::ifstream maps("/proc/self/maps");
    std::string line;
    bool found = false;
    while (std::getline(maps, line)) {
        if (line.find("/lumatmp") != std::string::npos && line.find("(deleted)") != std::string::npos) found = true;
    }
    EXPECT_TRUE(found);
}

// Small blocks come from the heap, large ones from their own mapping: either way a new block
// reads as zero (also after a block of the same size was written and freed), keeps the memory
// row order, and survives a size change that moves it.
TEST(ImageBufferStorage, MemoryBlocksStartZeroedSmallOrLarge) {
    for (const int32_t width : {5, 2400}) {
        SCOPED_TRACE(width);
        const int32_t height = 1000;
        auto b = NewBuffer(psMemory);
        for (int round = 0; round < 2; ++round) {
            b->Allocate(width, height, pk24RGB);
            ASSERT_EQ(b->Storage(), psMemory);
            ASSERT_EQ(b->ScanLine(0) - b->ScanLine(1), b->RowLen());
            for (int32_t y = 0; y < height; ++y) {
                const uint8_t* row = b->ScanLine(y);
                ASSERT_TRUE(std::all_of(row, row + b->RowLen(), [](uint8_t v) { return v == 0; })) << "row " << y;
            }
            for (int32_t y = 0; y < height; ++y) std::memset(b->ScanLine(y), 0xA5, static_cast<size_t>(b->RowLen()));
        }
        b->SetHeight(height + 1);
        EXPECT_EQ(b->ScanLine(height - 1)[b->RowLen() - 1], 0xA5);
        EXPECT_EQ(b->ScanLine(height)[0], 0);
    }
}

TEST(ImageBufferStorage, ThresholdBoundaryIsSticky) {
    const int32_t w = 10, h = 10;  // 8-bit gray: 12 x 10 = 120 bytes
    const int64_t size = 120;
    struct Case { TPixelStorage before; int64_t threshold; TPixelStorage after; };
    const Case cases[] = {
        {psMemory, size, psMemory},        // equal keeps
        {psMemory, size - 1, psTempFile},  // one byte more than the threshold moves to a file
        {psTempFile, size, psTempFile},    // equal keeps
        {psTempFile, size + 1, psMemory},  // one byte less moves back to memory
    };
    for (const Case& c : cases) {
        TImageBuffer b;
        b.SetStorage(c.before);
        ASSERT_EQ(b.Storage(), c.before);
        b.SetTempFileThreshold(c.threshold);
        b.Allocate(w, h, pk8Gray);
        EXPECT_EQ(b.Storage(), c.after) << "threshold " << c.threshold;
        // The choice survives FreeImage.
        b.FreeImage();
        EXPECT_EQ(b.Storage(), c.after);
    }
}

TEST(ImageBufferStorage, UnusableTempFolderFallsBackToMemory) {
    // $TMPDIR naming a regular file: no temporary file can be made there.
    const std::string blocker = ::testing::TempDir() + "lumatmp_blocker";
    { std::ofstream(blocker) << "x"; }
    const char* saved = std::getenv("TMPDIR");
    const std::string savedValue = saved != nullptr ? saved : "";
    setenv("TMPDIR", (blocker + "/sub").c_str(), 1);
    TImageBuffer b;
    b.SetTempFileThreshold(0);
    b.Allocate(8, 8, pk24RGB);
    if (saved != nullptr) setenv("TMPDIR", savedValue.c_str(), 1); else unsetenv("TMPDIR");
    std::remove(blocker.c_str());
    EXPECT_EQ(b.Storage(), psMemory);
    EXPECT_TRUE(b.Fill(clWhite));
    EXPECT_EQ(b.PixelRGB(7, 7), (TRGB{255, 255, 255}));
}

TEST(ImageBufferStorage, MissingTempFolderIsCreated) {
    const std::string root = ::testing::TempDir() + "lumatmp_nested_" + std::to_string(::getpid());
    const char* saved = std::getenv("TMPDIR");
    const std::string savedValue = saved != nullptr ? saved : "";
    setenv("TMPDIR", (root + "/a/b").c_str(), 1);
    TImageBuffer b;
    b.SetTempFileThreshold(0);
    b.Allocate(8, 8, pk8Gray);
    if (saved != nullptr) setenv("TMPDIR", savedValue.c_str(), 1); else unsetenv("TMPDIR");
    EXPECT_EQ(b.Storage(), psTempFile);
    EXPECT_TRUE(std::filesystem::is_directory(root + "/a/b"));
    // The file itself is unlinked at once: the folder stays empty.
    EXPECT_TRUE(std::filesystem::is_empty(root + "/a/b"));
    std::filesystem::remove_all(root);
}

TEST(ImageBufferStorage, DefaultThresholdIsHalfOfAvailableMemory) {
    std::ifstream in("/proc/meminfo");
    std::string key;
    int64_t kib = 0;
    std::string unit;
    while (in >> key >> kib >> unit) {
        if (key == "MemAvailable:") break;
    }
    const int64_t t = TImageBuffer::DefaultTempFileThreshold();
    EXPECT_GT(t, 0);
    if (key == "MemAvailable:" && kib > 0) {
        // Memory use moves between the two readings; allow a generous margin.
        EXPECT_NEAR(static_cast<double>(t), kib * 1024.0 / 2, kib * 1024.0 / 8);
    }
    TImageBuffer b;
    EXPECT_EQ(b.Storage(), psTempFile);
    EXPECT_EQ(b.BWConversion(), bwThreshold);
    b.Allocate(4, 4, pk24RGB);
    EXPECT_EQ(b.Storage(), psMemory);  // small images go to memory
}

TEST(ImageBufferStorage, SixteenBitGrayOnSurfaceBecomesEightBit) {
    TImageBuffer b;
    b.SetStorage(psSurface);
    b.Allocate(7, 3, pk16Gray);
    EXPECT_EQ(b.PixelKind(), pk8Gray);
    EXPECT_EQ(b.BitCount(), 8);
    EXPECT_EQ(b.RowLen(), 8);
    ASSERT_NE(b.Surface(), nullptr);
    EXPECT_EQ(b.Surface()->Format(), sf8Bit);

    // Assigning a 16-bit image onto surface storage keeps the high bytes.
    TImageBuffer src;
    src.Allocate(2, 1, pk16Gray);
    src.ScanLine(0)[0] = 0x34; src.ScanLine(0)[1] = 0x12;
    src.ScanLine(0)[2] = 0xFF; src.ScanLine(0)[3] = 0xAB;
    b.Assign(src);
    EXPECT_EQ(b.PixelKind(), pk8Gray);
    EXPECT_EQ(b.ScanLine(0)[0], 0x12);
    EXPECT_EQ(b.ScanLine(0)[1], 0xAB);
}

// ---------------------------------------------------------------------------------------------
// Operations run over memory, temporary-file and surface storage alike.

class ImageBufferOps : public ::testing::TestWithParam<TPixelStorage> {
protected:
    std::unique_ptr<TImageBuffer> Make(int32_t w, int32_t h, TPixelKind kind) {
        auto b = NewBuffer(GetParam());
        b->Allocate(w, h, kind);
        return b;
    }
    bool OnSurface() const { return GetParam() == psSurface; }
};

INSTANTIATE_TEST_SUITE_P(Storages, ImageBufferOps, ::testing::Values(psMemory, psTempFile, psSurface),
                         [](const auto& p) {
                             return std::string(p.param == psMemory     ? "Memory"
                                                : p.param == psTempFile ? "TempFile"
                                                                           : "Surface");
                         });

TEST_P(ImageBufferOps, StorageAndTopRow) {
    auto b = Make(4, 3, pk8Gray);
    EXPECT_EQ(b->Storage(), GetParam());
    FillPattern8(*b);
    // Through a surface copy (rows top-down) the top row stays first.
    TSurface s;
    b->CopyToSurface(s);
    EXPECT_EQ(s.Row(0)[1], 1);
    EXPECT_EQ(s.Row(2)[3], 17);
}

TEST_P(ImageBufferOps, GrayOfPureColours) {
    struct Case { TRGB c; uint8_t g8; uint16_t g16; };
    const Case cases[] = {
        {{0, 0, 255}, 53, 13839},   // red
        {{0, 255, 0}, 181, 46544},  // green
        {{255, 0, 0}, 20, 4896},    // blue
        {{255, 255, 255}, 255, 65280},
        {{0, 0, 0}, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gray8(c.c.r, c.c.g, c.c.b), c.g8);
        EXPECT_EQ(gray16(c.c.r, c.c.g, c.c.b), c.g16);
        if (OnSurface()) continue;  // surfaces hold no 16-bit gray
        auto b = Make(1, 1, pk24RGB);
        SetRGB(*b, 0, 0, c.c);
        b->ConvertPixelKind(pk16Gray);
        ASSERT_EQ(b->PixelKind(), pk16Gray);
        EXPECT_EQ(b->ScanLine(0)[0] | (b->ScanLine(0)[1] << 8), c.g16);
        auto g = Make(1, 1, pk24RGB);
        SetRGB(*g, 0, 0, c.c);
        g->ConvertPixelKind(pk8Gray);
        EXPECT_EQ(g->ScanLine(0)[0], c.g8);
    }
}

TEST_P(ImageBufferOps, ConversionsBetweenKinds) {
    // 1-bit to palette: entries 0 black and 1 white, index = bit.
    auto b = Make(10, 2, pk1Bit);
    b->Fill(0);
    SetBit(*b, 3, 1, true);
    b->ConvertPixelKind(pk8Palette);
    ASSERT_EQ(b->PixelKind(), pk8Palette);
    EXPECT_EQ(b->PaletteUsed(), 256);
    EXPECT_EQ(b->PaletteEntry(0), (TRGB{0, 0, 0}));
    EXPECT_EQ(b->PaletteEntry(1), (TRGB{255, 255, 255}));
    EXPECT_EQ(b->ScanLine(1)[3], 1);
    EXPECT_EQ(b->ScanLine(1)[2], 0);
    EXPECT_EQ(b->PixelRGB(3, 1), (TRGB{255, 255, 255}));
    // Palette to 24-bit takes the entries.
    b->SetPaletteEntry(0, TRGB{1, 2, 3});
    b->ConvertPixelKind(pk24RGB);
    EXPECT_EQ(b->PixelRGB(0, 0), (TRGB{1, 2, 3}));
    EXPECT_EQ(b->PixelRGB(3, 1), (TRGB{255, 255, 255}));

    // 8-bit gray to palette: gray ramp, index = level; then to 24-bit.
    auto g = Make(3, 1, pk8Gray);
    g->ScanLine(0)[0] = 0; g->ScanLine(0)[1] = 77; g->ScanLine(0)[2] = 255;
    g->ConvertPixelKind(pk8Palette);
    EXPECT_EQ(g->ScanLine(0)[1], 77);
    EXPECT_EQ(g->PaletteEntry(77), (TRGB{77, 77, 77}));
    g->ConvertPixelKind(pk24RGB);
    EXPECT_EQ(g->PixelRGB(1, 0), (TRGB{77, 77, 77}));

    if (!OnSurface()) {
        // 8-bit gray to 16-bit: g x 256; 16-bit to 24-bit: the high byte.
        auto h = Make(2, 1, pk8Gray);
        h->ScanLine(0)[0] = 200; h->ScanLine(0)[1] = 1;
        h->ConvertPixelKind(pk16Gray);
        EXPECT_EQ(h->ScanLine(0)[0] | (h->ScanLine(0)[1] << 8), 200 * 256);
        h->ScanLine(0)[2] = 0xFF; h->ScanLine(0)[3] = 0x80;  // 0x80FF
        EXPECT_EQ(h->PixelRGB(1, 0), (TRGB{0x80, 0x80, 0x80}));
        h->ConvertPixelKind(pk24RGB);
        EXPECT_EQ(h->PixelRGB(1, 0), (TRGB{0x80, 0x80, 0x80}));
        EXPECT_EQ(h->PixelRGB(0, 0), (TRGB{200, 200, 200}));
    }
}

TEST_P(ImageBufferOps, TwentyFourBitToPaletteUsesTheQuantizer) {
    // Three colours: the quantizer keeps them exactly, in order of first appearance.
    auto b = Make(5, 2, pk24RGB);
    b->Fill(MakeColor(10, 20, 30));
    SetRGB(*b, 4, 0, TRGB{1, 2, 3});
    SetRGB(*b, 0, 1, TRGB{200, 100, 0});
    b->ConvertPixelKind(pk8Palette);
    ASSERT_EQ(b->PixelKind(), pk8Palette);
    EXPECT_EQ(b->PixelRGB(0, 0), (TRGB{30, 20, 10}));
    EXPECT_EQ(b->PixelRGB(4, 0), (TRGB{1, 2, 3}));
    EXPECT_EQ(b->PixelRGB(0, 1), (TRGB{200, 100, 0}));
    EXPECT_EQ(b->ScanLine(0)[0], 0);
    EXPECT_EQ(b->ScanLine(0)[4], 1);
    EXPECT_EQ(b->ScanLine(1)[0], 2);
}

TEST_P(ImageBufferOps, OrderedDitherOfMidGray) {
    auto b = Make(16, 16, pk24RGB);
    b->Fill(MakeColor(128, 128, 128));
    b->SetBWConversion(bwOrdered);
    b->ConvertPixelKind(pk1Bit);
    ASSERT_EQ(b->PixelKind(), pk1Bit);
    int white = 0;
    for (int32_t y = 0; y < 16; ++y) {
        for (int32_t x = 0; x < 16; ++x) {
            EXPECT_EQ(Bit(*b, x, y), kDither[x % 8][y % 8] < 32) << x << "," << y;
            white += Bit(*b, x, y);
        }
    }
    EXPECT_EQ(white, 128);
}

TEST_P(ImageBufferOps, ThresholdConversionUsesMeanGray) {
    // Left half dark (gray 40), right half light (gray 200): mean 120, so the light half is white.
    auto b = Make(8, 2, pk8Gray);
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 8; ++x) b->ScanLine(y)[x] = x < 4 ? 40 : 200;
    }
    b->ConvertPixelKind(pk1Bit);  // bwThreshold is the default
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(Bit(*b, x, 1), x >= 4) << x;
    EXPECT_EQ(b->ScanLine(0)[0], 0x0F);

    if (!OnSurface()) {
        // 16-bit gray: the high bytes are compared with the mean of the high bytes. Low bytes
        // that would move the mean of the full words must not count.
        auto w = Make(2, 1, pk16Gray);
        uint8_t* r = w->ScanLine(0);
        r[0] = 0xFF; r[1] = 10;  // high byte 10
        r[2] = 0x00; r[3] = 11;  // high byte 11; mean of high bytes = 10
        w->ConvertPixelKind(pk1Bit);
        EXPECT_TRUE(Bit(*w, 0, 0));
        EXPECT_TRUE(Bit(*w, 1, 0));
    }
}

TEST_P(ImageBufferOps, CopyRectClipsAndShifts) {
    auto src = Make(10, 4, pk8Gray);
    FillPattern8(*src);
    auto dst = Make(6, 4, pk8Gray);
    dst->Fill(0);
    // dstX = -3 copies from srcX + 3, three pixels narrower, to column 0.
    src->CopyRect(*dst, 1, 0, 5, 2, -3, 1);
    EXPECT_EQ(dst->ScanLine(1)[0], 4);
    EXPECT_EQ(dst->ScanLine(1)[1], 5);
    EXPECT_EQ(dst->ScanLine(1)[2], 0);  // width 5 - 3 = 2
    EXPECT_EQ(dst->ScanLine(2)[0], 11);
    EXPECT_EQ(dst->ScanLine(3)[0], 0);
    // Cut at the target's right and bottom edges.
    dst->Fill(0);
    src->CopyRect(*dst, 0, 0, 10, 10, 4, 2);
    EXPECT_EQ(dst->ScanLine(2)[4], 0);
    EXPECT_EQ(dst->ScanLine(2)[5], 1);
    EXPECT_EQ(dst->ScanLine(3)[5], 8);
    // Different kinds: nothing happens.
    auto other = Make(6, 4, pk24RGB);
    other->Fill(clWhite);
    src->CopyRect(*other, 0, 0, 3, 3, 0, 0);
    EXPECT_EQ(other->PixelRGB(0, 0), (TRGB{255, 255, 255}));
}

TEST_P(ImageBufferOps, CopyRectIsBitExactForOneBit) {
    std::mt19937 rng(7);
    auto src = Make(45, 3, pk1Bit);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < src->RowLen(); ++x) src->ScanLine(y)[x] = static_cast<uint8_t>(rng());
    }
    struct Case { int32_t srcX, width, dstX; };
    const Case cases[] = {{0, 45, 0}, {3, 13, 5}, {7, 20, 0}, {0, 9, 7}, {9, 1, 30}, {11, 27, 13}, {8, 16, 16}};
    for (const Case& c : cases) {
        auto dst = Make(45, 3, pk1Bit);
        std::vector<uint8_t> before;
        for (int32_t x = 0; x < dst->RowLen(); ++x) {
            dst->ScanLine(1)[x] = static_cast<uint8_t>(rng());
        }
        std::vector<bool> old(45);
        for (int32_t x = 0; x < 45; ++x) old[x] = Bit(*dst, x, 1);
        src->CopyRect(*dst, c.srcX, 2, c.width, 1, c.dstX, 1);
        for (int32_t x = 0; x < 45; ++x) {
            const bool inside = x >= c.dstX && x < c.dstX + c.width;
            const bool want = inside ? Bit(*src, c.srcX + x - c.dstX, 2) : old[x];
            ASSERT_EQ(Bit(*dst, x, 1), want) << "srcX " << c.srcX << " dstX " << c.dstX << " x " << x;
        }
    }
}

TEST_P(ImageBufferOps, CopyRectWithinOneBufferOverlapping) {
    // 1-bit: a run moved right by three bits inside the same row.
    auto m = Make(24, 1, pk1Bit);
    m->ScanLine(0)[0] = 0xB5;
    m->ScanLine(0)[1] = 0x3C;
    m->ScanLine(0)[2] = 0x00;
    std::vector<bool> old(24);
    for (int32_t x = 0; x < 24; ++x) old[x] = Bit(*m, x, 0);
    m->CopyRect(*m, 0, 0, 16, 1, 3, 0);
    for (int32_t x = 0; x < 24; ++x) {
        const bool want = x >= 3 && x < 19 ? old[x - 3] : old[x];
        EXPECT_EQ(Bit(*m, x, 0), want) << x;
    }
    // 8-bit: rows moved down by one.
    auto g = Make(3, 4, pk8Gray);
    FillPattern8(*g);
    g->CopyRect(*g, 0, 0, 3, 3, 0, 1);
    EXPECT_EQ(g->ScanLine(1)[2], 2);
    EXPECT_EQ(g->ScanLine(3)[0], 14);
}

TEST_P(ImageBufferOps, ResizeKeepsAlignment) {
    // 100 x 50 grows to 120 x 50 centred: ten filled columns on each side.
    auto b = Make(100, 50, pk24RGB);
    b->Fill(MakeColor(10, 20, 30));
    SetRGB(*b, 0, 0, TRGB{1, 1, 1});
    SetRGB(*b, 99, 49, TRGB{2, 2, 2});
    b->Resize(120, 50, clWhite, 1, 1, 0);
    ASSERT_EQ(b->Width(), 120);
    ASSERT_EQ(b->Height(), 50);
    for (int32_t x : {0, 9, 110, 119}) EXPECT_EQ(b->PixelRGB(x, 25), (TRGB{255, 255, 255})) << x;
    EXPECT_EQ(b->PixelRGB(10, 0), (TRGB{1, 1, 1}));
    EXPECT_EQ(b->PixelRGB(109, 49), (TRGB{2, 2, 2}));
    EXPECT_EQ(b->PixelRGB(50, 25), (TRGB{30, 20, 10}));

    // 120 shrinks to 100 right-aligned: the rightmost 100 columns stay.
    auto c = Make(120, 2, pk8Gray);
    for (int32_t x = 0; x < 120; ++x) c->ScanLine(0)[x] = c->ScanLine(1)[x] = static_cast<uint8_t>(x);
    c->Resize(100, 2, 0, 2, 0, 0);
    ASSERT_EQ(c->Width(), 100);
    EXPECT_EQ(c->ScanLine(0)[0], 20);
    EXPECT_EQ(c->ScanLine(1)[99], 119);

    // Vertical growth at the bottom, with the alpha plane filled by its own value.
    auto d = Make(3, 2, pk8Gray);
    d->Fill(9);
    d->AlphaChannel();
    d->Resize(3, 5, 1, 0, 2, 0);
    EXPECT_EQ(d->ScanLine(0)[0], 1);
    EXPECT_EQ(d->ScanLine(2)[0], 1);
    EXPECT_EQ(d->ScanLine(3)[0], 9);
    ASSERT_TRUE(d->HasAlphaChannel());
    EXPECT_EQ(d->AlphaChannel().Height(), 5);
    EXPECT_EQ(d->AlphaChannel().ScanLine(0)[0], 0);
    EXPECT_EQ(d->AlphaChannel().ScanLine(4)[2], 255);
}

TEST_P(ImageBufferOps, SetWidthAndHeightKeepPixelsAndPalette) {
    auto b = Make(5, 4, pk8Palette);
    FillPattern8(*b);
    b->SetPaletteEntry(7, TRGB{9, 8, 7});
    b->Fill(3);
    b->ScanLine(1)[2] = 42;
    b->SetWidth(8);
    EXPECT_EQ(b->Width(), 8);
    EXPECT_EQ(b->PixelKind(), pk8Palette);
    EXPECT_EQ(b->PaletteEntry(7), (TRGB{9, 8, 7}));
    EXPECT_EQ(b->ScanLine(1)[2], 42);
    EXPECT_EQ(b->ScanLine(3)[4], 3);
    b->SetHeight(2);
    EXPECT_EQ(b->Height(), 2);
    EXPECT_EQ(b->ScanLine(1)[2], 42);
    EXPECT_EQ(b->PaletteEntry(7), (TRGB{9, 8, 7}));

    // 1-bit rows keep their bits too.
    auto m = Make(12, 2, pk1Bit);
    m->Fill(0);
    SetBit(*m, 10, 1, true);
    m->SetWidth(20);
    EXPECT_TRUE(Bit(*m, 10, 1));
    EXPECT_FALSE(Bit(*m, 9, 1));
}

TEST_P(ImageBufferOps, FillSetsIsFull) {
    auto b = Make(5, 3, pk8Gray);
    EXPECT_TRUE(b->Fill(255));
    EXPECT_TRUE(b->IsFull());
    EXPECT_FALSE(b->Fill(254));
    EXPECT_FALSE(b->IsFull());
    b->Fill(255);
    b->SetWidth(6);
    EXPECT_FALSE(b->IsFull());

    auto c = Make(3, 2, pk24RGB);
    EXPECT_TRUE(c->Fill(clWhite));
    EXPECT_FALSE(c->Fill(0xFFFFFE));
    auto m = Make(9, 2, pk1Bit);
    EXPECT_TRUE(m->Fill(1));
    EXPECT_TRUE(Bit(*m, 8, 1));
    m->FillRect(2, 0, 9, 0, 0);  // clipped at the right edge
    EXPECT_TRUE(Bit(*m, 1, 0));
    EXPECT_FALSE(Bit(*m, 2, 0));
    EXPECT_FALSE(Bit(*m, 8, 0));
    EXPECT_TRUE(Bit(*m, 8, 1));
    EXPECT_TRUE(m->IsFull());  // FillRect leaves the flag alone
}

TEST_P(ImageBufferOps, AlphaPlaneLifecycle) {
    auto b = Make(4, 3, pk24RGB);
    EXPECT_FALSE(b->HasAlphaChannel());
    TImageBuffer& a = b->AlphaChannel();
    EXPECT_TRUE(a.IsAlphaPlane());
    EXPECT_EQ(a.PixelKind(), pk8Gray);
    EXPECT_EQ(a.Width(), 4);
    EXPECT_TRUE(a.IsFull());
    EXPECT_EQ(a.Storage(), OnSurface() ? psMemory : GetParam());
    a.ScanLine(2)[3] = 17;

    // A full copy carries the plane; MoveTo hands it over.
    TImageBuffer copy;
    copy.Assign(*b);
    ASSERT_TRUE(copy.HasAlphaChannel());
    EXPECT_EQ(copy.AlphaChannel().ScanLine(2)[3], 17);
    TImageBuffer moved;
    copy.MoveTo(moved);
    EXPECT_TRUE(copy.Empty());
    EXPECT_FALSE(copy.HasAlphaChannel());
    ASSERT_TRUE(moved.HasAlphaChannel());
    EXPECT_EQ(moved.AlphaChannel().ScanLine(2)[3], 17);

    // CopyImageFrom leaves it out.
    TImageBuffer plain;
    plain.CopyImageFrom(*b);
    EXPECT_FALSE(plain.HasAlphaChannel());

    b->SetWidth(6);
    EXPECT_EQ(b->AlphaChannel().Width(), 6);
    EXPECT_EQ(b->AlphaChannel().ScanLine(2)[3], 17);

    b->ConvertPixelKind(pk8Gray);
    EXPECT_EQ(b->HasAlphaChannel(), OnSurface());  // kept only on a surface
    b->RemoveAlphaChannel();
    EXPECT_FALSE(b->HasAlphaChannel());
}

TEST_P(ImageBufferOps, AssignAndStorageMovesKeepContent) {
    auto b = Make(13, 7, pk24RGB);
    for (int32_t y = 0; y < 7; ++y) {
        for (int32_t x = 0; x < 13; ++x) SetRGB(*b, x, y, TRGB{uint8_t(x), uint8_t(y), uint8_t(x * y)});
    }
    for (TPixelStorage target : {psMemory, psTempFile, psSurface}) {
        auto c = NewBuffer(target);
        c->Assign(*b);
        EXPECT_EQ(c->Storage(), target);
        EXPECT_EQ(c->PixelRGB(12, 6), (TRGB{12, 6, 72}));
        EXPECT_EQ(c->PixelRGB(3, 0), (TRGB{3, 0, 0}));
        c->SetStorage(GetParam());
        EXPECT_EQ(c->PixelRGB(12, 6), (TRGB{12, 6, 72}));
    }
}

TEST_P(ImageBufferOps, OneBitAndTwentyFourBitOnSurfaceOrNot) {
    auto b = Make(11, 2, pk1Bit);
    b->Fill(0);
    SetBit(*b, 10, 0, true);
    b->ConvertPixelKind(pk24RGB);
    ASSERT_EQ(b->PixelKind(), pk24RGB);
    EXPECT_EQ(b->RowLen(), 36);
    EXPECT_EQ(b->PixelRGB(10, 0), (TRGB{255, 255, 255}));
    EXPECT_EQ(b->PixelRGB(9, 0), (TRGB{0, 0, 0}));
    if (OnSurface()) {
        EXPECT_EQ(b->Surface()->Format(), sf24Bit);
    }
    b->ConvertPixelKind(pk1Bit);
    EXPECT_EQ(b->PixelKind(), pk1Bit);
    EXPECT_TRUE(Bit(*b, 10, 0));
    EXPECT_FALSE(Bit(*b, 9, 0));
}

TEST(ImageBufferSurface, CopyFromSurfaceFormats) {
    struct Case { TSurfaceFormat format; TPixelKind kind; };
    const Case cases[] = {{sf1Bit, pk1Bit}, {sf4Bit, pk8Palette}, {sf8Bit, pk8Palette}, {sf15Bit, pk24RGB},
                          {sf16Bit, pk24RGB}, {sf24Bit, pk24RGB}, {sf32Bit, pk24RGB}};
    const TColor colours[] = {clBlack, clWhite, MakeColor(0xF8, 0x08, 0x80)};
    for (const Case& c : cases) {
        TSurface s(3, 2, c.format);
        if (c.format == sf4Bit || c.format == sf8Bit) s.SetPaletteColor(5, colours[2]);
        for (int32_t x = 0; x < 3; ++x) s.SetPixel(x, 1, colours[x]);
        TImageBuffer b;
        b.CopyFromSurface(s);
        ASSERT_EQ(b.PixelKind(), c.kind) << int(c.format);
        for (int32_t x = 0; x < 3; ++x) {
            if (c.format == sf1Bit && x == 2) continue;
            EXPECT_EQ(ToColor(b.PixelRGB(x, 1)), s.Pixel(x, 1)) << int(c.format) << " x " << x;
        }
    }
    // 15-bit and 16-bit components are shifted up.
    TSurface s15(1, 1, sf15Bit);
    s15.Row(0)[0] = 0xFF;
    s15.Row(0)[1] = 0x7F;
    TImageBuffer b15;
    b15.CopyFromSurface(s15);
    EXPECT_EQ(b15.PixelRGB(0, 0), (TRGB{248, 248, 248}));
    TSurface s16(1, 1, sf16Bit);
    s16.Row(0)[0] = 0xE0;  // green = 7 (low three bits of six)
    s16.Row(0)[1] = 0x00;
    TImageBuffer b16;
    b16.CopyFromSurface(s16);
    EXPECT_EQ(b16.PixelRGB(0, 0), (TRGB{0, 28, 0}));
    // A 1-bit surface with another palette becomes a two-entry palette image.
    TSurface inv(9, 1, sf1Bit);
    inv.SetPaletteColor(0, clWhite);
    inv.SetPaletteColor(1, MakeColor(255, 0, 0));
    inv.Row(0)[1] = 0x80;  // pixel 8
    TImageBuffer bi;
    bi.CopyFromSurface(inv);
    ASSERT_EQ(bi.PixelKind(), pk8Palette);
    EXPECT_EQ(bi.PixelRGB(8, 0), (TRGB{0, 0, 255}));
    EXPECT_EQ(bi.PixelRGB(7, 0), (TRGB{255, 255, 255}));
}

TEST(ImageBufferSurface, CopyToSurfacePerKind) {
    TImageBuffer g;
    g.Allocate(2, 1, pk16Gray);
    g.ScanLine(0)[0] = 0x00; g.ScanLine(0)[1] = 0x40;
    g.ScanLine(0)[2] = 0xFF; g.ScanLine(0)[3] = 0xC0;
    TSurface s;
    g.CopyToSurface(s);
    EXPECT_EQ(s.Format(), sf8Bit);
    EXPECT_EQ(s.Row(0)[0], 0x40);
    EXPECT_EQ(s.Row(0)[1], 0xC0);
    EXPECT_EQ(s.PaletteColor(0xC0), MakeColor(0xC0, 0xC0, 0xC0));

    TImageBuffer m;
    m.Allocate(3, 2, pk1Bit);
    m.Fill(1);
    m.CopyToSurface(s);
    EXPECT_EQ(s.Format(), sf1Bit);
    EXPECT_TRUE(s.IsMonochrome());
    EXPECT_EQ(s.Pixel(2, 1), clWhite);
}

TEST(ImageBufferSurface, WrappedSurfaceSharesPixels) {
    TSurface s(4, 3, sf24Bit);
    TImageBuffer b;
    b.WrapSurface(s, true);
    EXPECT_TRUE(b.SurfaceBorrowed());
    EXPECT_EQ(b.Storage(), psSurface);
    EXPECT_EQ(b.PixelKind(), pk24RGB);
    EXPECT_EQ(b.Width(), 4);
    SetRGB(b, 1, 2, TRGB{3, 2, 1});
    EXPECT_EQ(s.Pixel(1, 2), MakeColor(1, 2, 3));

    // A reader allocating the buffer re-formats the borrowed surface itself.
    b.Allocate(9, 5, pk1Bit);
    EXPECT_EQ(s.Format(), sf1Bit);
    EXPECT_EQ(s.Width(), 9);
    b.Allocate(2, 2, pk8Palette);
    b.SetPaletteEntry(4, TRGB{10, 20, 30});
    EXPECT_EQ(s.PaletteColor(4), MakeColor(30, 20, 10));

    // The surface resized by its owner: the buffer follows, keeping the pixels.
    b.Allocate(4, 3, pk24RGB);
    SetRGB(b, 1, 1, TRGB{5, 6, 7});
    s.SetSize(6, 2);
    EXPECT_EQ(b.Width(), 6);
    EXPECT_EQ(b.Height(), 2);
    EXPECT_EQ(b.PixelRGB(1, 1), (TRGB{5, 6, 7}));
    b.SetHeight(4);
    EXPECT_EQ(s.Height(), 4);
    EXPECT_EQ(b.PixelRGB(1, 1), (TRGB{5, 6, 7}));

    // Freeing the buffer never frees a borrowed surface; destroying the surface empties a buffer
    // that still wraps it.
    {
        auto t = std::make_unique<TSurface>(2, 2, sf24Bit);
        TImageBuffer c;
        c.WrapSurface(*t, true);
        t.reset();
        EXPECT_TRUE(c.Empty());
        c.Allocate(3, 3, pk24RGB);  // gets a surface of its own
        EXPECT_EQ(c.Storage(), psSurface);
        EXPECT_FALSE(c.SurfaceBorrowed());
    }
    b.FreeImage();
    EXPECT_EQ(s.Width(), 6);
}

TEST(ImageBufferSurface, CanvasSwitchesToSurfaceStorage) {
    TImageBuffer b;
    b.Allocate(5, 5, pk24RGB);
    b.Fill(clBlack);
    ASSERT_EQ(b.Storage(), psMemory);
    b.Canvas();
    EXPECT_EQ(b.Storage(), psSurface);
    EXPECT_EQ(b.PixelRGB(4, 4), (TRGB{0, 0, 0}));
    ASSERT_NE(b.Surface(), nullptr);
    EXPECT_EQ(b.Surface()->Width(), 5);
}

TEST(PlaneMask, RoundTripThroughAlphaPlane) {
    TImageBuffer b;
    b.Allocate(5, 3, pk24RGB);
    TImageBuffer& a = b.AlphaChannel();
    a.ScanLine(0)[4] = 1;
    a.ScanLine(2)[0] = 2;
    TPlaneMask mask;
    mask.CopyFrom(a);
    EXPECT_EQ(mask.Width(), 5);
    EXPECT_EQ(mask.RowLen(), 8);
    EXPECT_EQ(mask.Row(0)[4], 1);
    EXPECT_EQ(mask.Row(2)[0], 2);
    EXPECT_EQ(mask.Row(1)[1], 255);
    TImageBuffer back;
    mask.CopyTo(back);
    EXPECT_EQ(back.PixelKind(), pk8Gray);
    EXPECT_EQ(back.ScanLine(0)[4], 1);
    EXPECT_EQ(back.ScanLine(2)[0], 2);

    TPlaneMask bits(10, 2, 1);
    EXPECT_EQ(bits.RowLen(), 4);
    EXPECT_EQ(bits.Row(1)[0], 0);
    bits.Row(1)[1] = 0x40;
    bits.CopyTo(back);
    EXPECT_EQ(back.PixelKind(), pk1Bit);
    EXPECT_TRUE(Bit(back, 9, 1));
}

}  // namespace
}  // namespace luma
