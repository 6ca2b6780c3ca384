#include "formats/io_params.h"

#include <algorithm>
#include <cstring>

#include "formats/byte_io.h"

namespace luma {

TGifLzwDecoderHook GifLzwDecoder = nullptr;
TGifLzwEncoderHook GifLzwEncoder = nullptr;
TTiffLzwDecoderHook TiffLzwDecoder = nullptr;
TTiffLzwEncoderHook TiffLzwEncoder = nullptr;

// --- TJpegMarkerList -------------------------------------------------------------------------

void TJpegMarkerList::Add(uint8_t code, std::span<const uint8_t> data) {
    items_.push_back(TJpegMarker{code, std::vector<uint8_t>(data.begin(), data.end())});
}

void TJpegMarkerList::Insert(int32_t index, uint8_t code, std::span<const uint8_t> data) {
    const auto at = std::clamp<int64_t>(index, 0, static_cast<int64_t>(items_.size()));
    items_.insert(items_.begin() + at,
                  TJpegMarker{code, std::vector<uint8_t>(data.begin(), data.end())});
}

void TJpegMarkerList::Delete(int32_t index) {
    if (index >= 0 && static_cast<size_t>(index) < items_.size()) items_.erase(items_.begin() + index);
}

int32_t TJpegMarkerList::IndexOf(uint8_t code) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].Code == code) return static_cast<int32_t>(i);
    return -1;
}

// --- TIptcInfoList ---------------------------------------------------------------------------

namespace {

constexpr uint8_t kIptcTagMarker = 0x1C;
constexpr uint16_t kIptcResourceId = 0x0404;
constexpr char kPhotoshopSignature[] = "Photoshop 3.0";  // followed by a zero byte
constexpr char kResourceSignature[] = "8BIM";

}  // namespace

void TIptcInfoList::Add(uint8_t record, uint8_t dataSet, std::span<const uint8_t> data) {
    items_.push_back(TIptcRecord{record, dataSet, std::vector<uint8_t>(data.begin(), data.end())});
    modified_ = true;
}

void TIptcInfoList::AddString(uint8_t record, uint8_t dataSet, const std::string& text) {
    Add(record, dataSet,
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

void TIptcInfoList::Delete(int32_t index) {
    if (index >= 0 && static_cast<size_t>(index) < items_.size()) {
        items_.erase(items_.begin() + index);
        modified_ = true;
    }
}

void TIptcInfoList::Clear() {
    if (!items_.empty()) modified_ = true;
    items_.clear();
}

int32_t TIptcInfoList::IndexOf(uint8_t record, uint8_t dataSet) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].Record == record && items_[i].DataSet == dataSet)
            return static_cast<int32_t>(i);
    return -1;
}

std::string TIptcInfoList::StringItem(int32_t index) const {
    if (index < 0 || static_cast<size_t>(index) >= items_.size()) return {};
    const auto& d = items_[static_cast<size_t>(index)].Data;
    return std::string(d.begin(), d.end());
}

void TIptcInfoList::LoadFromIptcStream(std::span<const uint8_t> data) {
    items_.clear();
    modified_ = false;
    TByteCursor in(data);
    while (in.Remaining() >= 5 && in.Here()[0] == kIptcTagMarker) {
        in.Skip(1);
        const uint8_t record = in.U8();
        const uint8_t dataSet = in.U8();
        size_t size = in.BE16();
        if (size & 0x8000) {
            // Extended dataset: the low bits give the byte count of the length that follows.
            const size_t lenBytes = size & 0x7FFF;
            if (lenBytes > 4 || !in.Has(lenBytes)) break;
            size = 0;
            for (size_t i = 0; i < lenBytes; ++i) size = (size << 8) | in.U8();
        }
        auto bytes = in.Take(size);
        if (!in.Ok()) break;
        items_.push_back(TIptcRecord{record, dataSet, std::vector<uint8_t>(bytes.begin(), bytes.end())});
    }
}

std::vector<uint8_t> TIptcInfoList::SaveToIptcStream() const {
    std::vector<uint8_t> out;
    for (const auto& item : items_) {
        const size_t n = item.Data.size();
        out.push_back(kIptcTagMarker);
        out.push_back(item.Record);
        out.push_back(item.DataSet);
        if (n < 0x8000) {
            out.push_back(static_cast<uint8_t>(n >> 8));
            out.push_back(static_cast<uint8_t>(n));
        } else {
            out.push_back(0x80);
            out.push_back(0x04);
            for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(n >> shift));
        }
        out.insert(out.end(), item.Data.begin(), item.Data.end());
    }
    return out;
}

bool TIptcInfoList::LoadFromApp13(std::span<const uint8_t> payload) {
    const size_t sigLen = sizeof(kPhotoshopSignature);  // includes the terminating zero
    if (payload.size() < sigLen ||
        std::memcmp(payload.data(), kPhotoshopSignature, sigLen) != 0)
        return false;
    TByteCursor in(payload, sigLen);
    while (in.Remaining() >= 12) {
        if (std::memcmp(in.Here(), kResourceSignature, 4) != 0) return false;
        in.Skip(4);
        const uint16_t id = in.BE16();
        const uint8_t nameLen = in.U8();
        // The name is a Pascal string padded to an even total length (length byte included).
        in.Skip(static_cast<size_t>(nameLen) + ((nameLen + 1) % 2 == 1 ? 1 : 0));
        const uint32_t size = in.BE32();
        if (!in.Ok() || size > in.Remaining()) return false;
        auto block = in.Take(size);
        if (id == kIptcResourceId) {
            LoadFromIptcStream(block);
            return true;
        }
        if (size % 2 == 1) in.Skip(1);
    }
    return false;
}

std::vector<uint8_t> TIptcInfoList::SaveToApp13() const {
    const std::vector<uint8_t> iptc = SaveToIptcStream();
    std::vector<uint8_t> out;
    out.reserve(sizeof(kPhotoshopSignature) + 12 + iptc.size() + 1);
    for (char c : kPhotoshopSignature) out.push_back(static_cast<uint8_t>(c));  // with its zero
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(kResourceSignature[i]));
    out.push_back(static_cast<uint8_t>(kIptcResourceId >> 8));
    out.push_back(static_cast<uint8_t>(kIptcResourceId & 0xFF));
    out.push_back(0);  // empty name, padded to two bytes
    out.push_back(0);
    const auto size = static_cast<uint32_t>(iptc.size());
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(size >> shift));
    out.insert(out.end(), iptc.begin(), iptc.end());
    if (iptc.size() % 2 == 1) out.push_back(0);
    return out;
}

// --- TIOParamsVals ---------------------------------------------------------------------------

TIOParamsVals::TIOParamsVals()
    : GifDecoder(GifLzwDecoder), GifEncoder(GifLzwEncoder), TiffDecoder(TiffLzwDecoder),
      TiffEncoder(TiffLzwEncoder) {}

void TIOParamsVals::SetDefaults() { *this = TIOParamsVals(); }

void TIOParamsVals::ClearFileInfo() {
    IptcInfo = TIptcInfoList();
    JpegMarkers.Clear();
    GifComments.clear();
    TiffDocumentName.clear();
    TiffImageDescription.clear();
    TiffPageName.clear();
}

void TIOParamsVals::SetColorMap(std::span<const TRGB> colors) {
    ColorMap.assign(colors.begin(), colors.end());
    ColorMapCount = static_cast<int32_t>(ColorMap.size());
}

void TIOParamsVals::FreeColorMap() {
    ColorMap.clear();
    ColorMapCount = 0;
}

const char* FileTypeDescription(int32_t fileType) {
    switch (fileType) {
    case ftTIFF: return "TIFF Bitmap";
    case ftGIF: return "CompuServe Bitmap";
    case ftJPEG: return "JPEG Bitmap";
    case ftPCX: return "PaintBrush";
    case ftBMP: return "Windows Bitmap";
    case ftPNG: return "Portable Network Graphics";
    case ftWMF: return "Windows Metafile";
    case ftEMF: return "Enhanced Windows Metafile";
    default: return "";
    }
}

}  // namespace luma
