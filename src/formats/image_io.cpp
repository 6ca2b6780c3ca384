#include "formats/image_io.h"

#include <utility>

#include "imaging/plane_mask.h"

namespace luma {

namespace {

constexpr uint8_t kApp13 = 237;

struct TExtensionRow {
    const char* Extension;
    int32_t FileType;
};

constexpr TExtensionRow kLoadExtensions[] = {
    {".jpg", ftJPEG}, {".jpeg", ftJPEG}, {".jpe", ftJPEG}, {".png", ftPNG},
    {".tif", ftTIFF}, {".tiff", ftTIFF}, {".fax", ftTIFF}, {".g3n", ftTIFF},
    {".g3f", ftTIFF}, {".pcx", ftPCX},   {".gif", ftGIF},  {".wmf", ftWMF},
    {".emf", ftEMF},  {".bmp", ftBMP},   {".dib", ftBMP},  {".rle", ftBMP},
};

constexpr TExtensionRow kSaveExtensions[] = {
    {".jpg", ftJPEG}, {".jpeg", ftJPEG}, {".jpe", ftJPEG}, {".pcx", ftPCX},
    {".gif", ftGIF},  {".tif", ftTIFF},  {".tiff", ftTIFF}, {".fax", ftTIFF},
    {".g3f", ftTIFF}, {".g3n", ftTIFF},  {".png", ftPNG},  {".bmp", ftBMP},
    {".dib", ftBMP},  {".rle", ftBMP},
};

template <size_t N>
int32_t Lookup(const TExtensionRow (&table)[N], const std::string& fileName) {
    const std::string ext = FileExtension(fileName);
    for (const auto& row : table)
        if (ext == row.Extension) return row.FileType;
    return ftNone;
}

}  // namespace

std::string FileExtension(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    if (dot == std::string::npos) return {};
    const size_t slash = fileName.rfind('/');
    if (slash != std::string::npos && slash > dot) return {};
    std::string ext = fileName.substr(dot);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

int32_t LoadFileTypeOf(const std::string& fileName) { return Lookup(kLoadExtensions, fileName); }
int32_t SaveFileTypeOf(const std::string& fileName) { return Lookup(kSaveExtensions, fileName); }

TImageIO::TImageIO() : ownImage_(std::make_unique<TImageBuffer>()), image_(ownImage_.get()) {}

TImageIO::TImageIO(TImageBuffer& image, TImageIOHost* host) : image_(&image), host_(host) {}

TImageIO::~TImageIO() = default;

TColor TImageIO::Background() const {
    return host_ != nullptr ? host_->HostBackground() : background_;
}

void TImageIO::SetBackground(TColor color) {
    if (host_ == nullptr) background_ = color;
}

TIOProgress TImageIO::MakeProgress() {
    std::function<void(int32_t)> report;
    if (OnProgress) report = [this](int32_t percent) { OnProgress(*this, percent); };
    return TIOProgress(Aborting, std::move(report), MaxPixels, Background());
}

void TImageIO::FinishWork() {
    if (OnProgress) OnProgress(*this, 100);
    if (OnFinishWork) OnFinishWork(*this);
}

// --- loading ---------------------------------------------------------------------------------

void TImageIO::LoadFromFile(const std::string& fileName) {
    const int32_t fileType = LoadFileTypeOf(fileName);
    if (fileType == ftNone) {
        params_.FileType = ftNone;
        Aborting = true;
        return;
    }
    Aborting = true;
    params_.ClearFileInfo();
    const std::vector<uint8_t> data = ReadWholeFile(fileName);  // throws; Aborting stays set
    RunReader(*FindFormat(fileType), data, fileName);
}

void TImageIO::LoadFromBytes(std::span<const uint8_t> data, int32_t fileType,
                             const std::string& fileName) {
    const TFormatInfo* format = FindFormat(fileType);
    Aborting = true;
    if (format == nullptr) {
        params_.FileType = ftNone;
        return;
    }
    params_.ClearFileInfo();
    RunReader(*format, data, fileName);
}

void TImageIO::RunReader(const TFormatInfo& format, std::span<const uint8_t> data,
                         const std::string& fileName) {
    Aborting = false;
    image_->RemoveAlphaChannel();
    if (format.FileType == ftPNG) params_.PngBackground = ToRGB(Background());
    if (format.FileType == ftPCX) {
        params_.FileName = fileName;
        params_.FileType = format.FileType;
    }

    TPlaneMask alpha;
    if (format.Reader != nullptr) {
        TIOProgress progress = MakeProgress();
        format.Reader(data, *image_, params_, alpha, progress);
    } else {
        Aborting = true;
    }

    if (!alpha.Empty() && alpha.Width() == image_->Width() && alpha.Height() == image_->Height())
        alpha.CopyTo(image_->AlphaChannel());
    if (format.FileType == ftJPEG) AfterJpegRead();

    params_.FileName = fileName;
    params_.FileType = format.FileType;
    if (host_ != nullptr) host_->HostSetDpi(params_.DpiX, params_.DpiY);
    if (format.FileType == ftGIF) {
        SetBackground(ToColor(params_.GifHasTransparentColor ? params_.GifTransparentColor
                                                             : params_.GifBackground));
    } else if (format.FileType == ftPNG) {
        SetBackground(ToColor(params_.PngBackground));
    }
    if (host_ != nullptr) host_->HostImageChanged();
    FinishWork();
}

void TImageIO::AfterJpegRead() {
    const int32_t app13 = params_.JpegMarkers.IndexOf(kApp13);
    if (app13 >= 0) {
        params_.IptcInfo.LoadFromApp13(params_.JpegMarkers[app13].Data);
        params_.IptcInfo.SetModified(false);
    }
}

// --- saving ----------------------------------------------------------------------------------

void TImageIO::SaveToFile(const std::string& fileName) {
    const int32_t fileType = SaveFileTypeOf(fileName);
    if (fileType == ftNone) {
        Aborting = true;
        return;
    }
    SaveAs(fileType, fileName);
}

bool TImageIO::PrepareSave(int32_t fileType) {
    Aborting = true;
    if (image_->Empty()) {
        FinishWork();
        return false;
    }
    const TPixelKind kind = image_->PixelKind();
    if (kind != pk24RGB && kind != pk1Bit) image_->ConvertPixelKind(pk24RGB);
    if (fileType == ftJPEG && params_.IptcInfo.Modified()) {
        const std::vector<uint8_t> payload = params_.IptcInfo.SaveToApp13();
        const int32_t at = params_.JpegMarkers.IndexOf(kApp13);
        if (at >= 0)
            params_.JpegMarkers[at].Data = payload;
        else
            params_.JpegMarkers.Add(kApp13, payload);
    }
    return true;
}

void TImageIO::RunWriter(const TFormatInfo& format, TOutputStream& output) {
    Aborting = false;
    output.SetAbortFlag(&Aborting);
    TPlaneMask alphaCopy;
    const TPlaneMask* alpha = nullptr;
    if (format.FileType == ftPNG && image_->HasAlphaChannel()) {
        alphaCopy.CopyFrom(*image_->AlphaPlane());
        alpha = &alphaCopy;
    }
    TIOProgress progress = MakeProgress();
    try {
        format.Writer(output, *image_, params_, alpha, progress);
    } catch (...) {
        Aborting = true;
        throw;
    }
}

void TImageIO::SaveAs(int32_t fileType, const std::string& fileName) {
    Aborting = true;
    const TFormatInfo* format = FindFormat(fileType);
    if (format == nullptr || format->Writer == nullptr) return;
    if (!PrepareSave(fileType)) return;
    TSafeFileOutput output(fileName);  // throws; Aborting stays set
    RunWriter(*format, output);        // an exception discards the temporary file
    if (!Aborting) {
        try {
            if (!output.Commit()) Aborting = true;
        } catch (...) {
            Aborting = true;
            throw;
        }
    }
    FinishWork();
}

void TImageIO::SaveToStream(int32_t fileType, TOutputStream& output) {
    Aborting = true;
    const TFormatInfo* format = FindFormat(fileType);
    if (format == nullptr || format->Writer == nullptr) return;
    if (!PrepareSave(fileType)) return;
    RunWriter(*format, output);
    FinishWork();
}

}  // namespace luma
