#include "imaging/font_cache.h"

#include <fontconfig/fontconfig.h>
#include FT_TRUETYPE_TABLES_H

#include <cmath>

#if defined(__SANITIZE_ADDRESS__)
// fontconfig leaks a few blocks while parsing its configuration files; nothing of ours is
// involved, so keep the leak checker of sanitizer builds quiet about them.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace luma {

namespace {

struct TPatternDeleter {
    void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using TPatternPtr = std::unique_ptr<FcPattern, TPatternDeleter>;

// Scales font units to pixels, rounding halves up (all inputs are non-negative).
int32_t ScaleUnits(int64_t units, int32_t em, int32_t unitsPerEm) {
    if (unitsPerEm <= 0) return 0;
    return static_cast<int32_t>((units * em * 2 + unitsPerEm) / (2 * static_cast<int64_t>(unitsPerEm)));
}

}  // namespace

TFontCache& TFontCache::Instance() {
    static TFontCache cache;
    return cache;
}

TFontCache::TFontCache() {
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) == 0) library_.reset(library);
}

TFontCache::~TFontCache() {
    matches_.clear();
    faces_.clear();  // faces before their library
    library_.reset();
}

FT_Face TFontCache::OpenFace(const std::string& file, int index) {
    const auto key = std::make_pair(file, index);
    auto it = faces_.find(key);
    if (it != faces_.end()) return it->second.get();
    FT_Face face = nullptr;
    if (!library_ || FT_New_Face(library_.get(), file.c_str(), index, &face) != 0) return nullptr;
    if (!FT_IS_SCALABLE(face)) {
        FT_Done_Face(face);
        return nullptr;
    }
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    faces_.emplace(key, TFacePtr(face));
    return face;
}

TFaceMatch TFontCache::Find(const std::string& name, bool bold, bool italic) {
    const auto key = std::make_tuple(name, bold, italic);
    auto it = matches_.find(key);
    if (it != matches_.end()) return it->second;

    TFaceMatch match;
    TPatternPtr pattern(FcPatternCreate());
    if (pattern) {
        if (!name.empty()) {
            FcPatternAddString(pattern.get(), FC_FAMILY,
                               reinterpret_cast<const FcChar8*>(name.c_str()));
        }
        FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
        FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
        FcDefaultSubstitute(pattern.get());
        FcResult result = FcResultNoMatch;
        TPatternPtr found(FcFontMatch(nullptr, pattern.get(), &result));
        FcChar8* file = nullptr;
        if (found && FcPatternGetString(found.get(), FC_FILE, 0, &file) == FcResultMatch) {
            int index = 0;
            FcPatternGetInteger(found.get(), FC_INDEX, 0, &index);
            int weight = FC_WEIGHT_REGULAR;
            int slant = FC_SLANT_ROMAN;
            FcPatternGetInteger(found.get(), FC_WEIGHT, 0, &weight);
            FcPatternGetInteger(found.get(), FC_SLANT, 0, &slant);
            match.face = OpenFace(reinterpret_cast<const char*>(file), index);
            match.embolden = bold && weight < FC_WEIGHT_DEMIBOLD;
            match.oblique = italic && slant == FC_SLANT_ROMAN;
        }
    }
    matches_.emplace(key, match);
    return match;
}

int32_t TFontCache::EmForHeight(FT_Face face, int32_t height) {
    if (height < 0) return -height;
    if (height == 0) return 13;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    int64_t cell = 0;
    if (os2 != nullptr && os2->version != 0xFFFF) {
        cell = static_cast<int64_t>(os2->usWinAscent) + os2->usWinDescent;
    } else {
        cell = static_cast<int64_t>(face->ascender) - face->descender;
    }
    if (cell <= 0) return height;
    const int32_t em = ScaleUnits(height, face->units_per_EM, static_cast<int32_t>(cell));
    return em > 0 ? em : 1;
}

TLineMetrics TFontCache::Metrics(FT_Face face, int32_t em) {
    TLineMetrics m;
    m.em = em;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 != nullptr && os2->version != 0xFFFF) {
        m.ascent = ScaleUnits(os2->usWinAscent, em, face->units_per_EM);
        m.descent = ScaleUnits(os2->usWinDescent, em, face->units_per_EM);
    } else {
        m.ascent = ScaleUnits(face->ascender, em, face->units_per_EM);
        m.descent = ScaleUnits(-static_cast<int64_t>(face->descender), em, face->units_per_EM);
    }
    return m;
}

}  // namespace luma
