// The format table: which reader and writer serve each format identifier. A row whose function
// is null makes loads or saves of that format fail cleanly (Aborting, nothing read or created).

#include "formats/image_io.h"

namespace luma {

namespace {

const TFormatInfo kFormats[] = {
    {ftTIFF, ReadTiff, WriteTiff},
    {ftGIF, ReadGif, WriteGif},
    {ftJPEG, ReadJpeg, WriteJpeg},
    {ftPCX, ReadPcx, WritePcx},
    {ftBMP, ReadBmp, WriteBmp},
    {ftPNG, ReadPng, WritePng},
    {ftWMF, nullptr, nullptr},
    {ftEMF, nullptr, nullptr},
};

}  // namespace

const TFormatInfo* FindFormat(int32_t fileType) {
    for (const auto& row : kFormats)
        if (row.FileType == fileType) return &row;
    return nullptr;
}

}  // namespace luma
