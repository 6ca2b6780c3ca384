#pragma once
// Font faces for the canvas: fontconfig finds a file for a face name and style, FreeType opens
// it. Library, matches and faces are cached for the life of the process.

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>

namespace luma {

// A matched face and what the match lacks of the request (to be synthesised).
struct TFaceMatch {
    FT_Face face = nullptr;
    bool embolden = false;  // bold requested, the face is not bold
    bool oblique = false;   // italic requested, the face is upright
};

// Vertical metrics of a face at an em size in pixels, rounded as the text output uses them.
struct TLineMetrics {
    int32_t em = 0;
    int32_t ascent = 0;   // baseline below the top of the cell
    int32_t descent = 0;  // cell bottom below the baseline
    int32_t Height() const { return ascent + descent; }
};

class TFontCache {
public:
    static TFontCache& Instance();

    // The best face for the request, or a null face when no font is usable at all. The returned
    // face stays valid for the life of the process; use it while holding Lock().
    TFaceMatch Find(const std::string& name, bool bold, bool italic);
    std::mutex& Lock() { return mutex_; }

    // Em size in pixels for a font height: negative = em height, positive = cell height.
    static int32_t EmForHeight(FT_Face face, int32_t height);
    // Ascent and descent from the OS/2 Windows metrics (or the face's own metrics when the
    // font has no OS/2 table) scaled to `em`.
    static TLineMetrics Metrics(FT_Face face, int32_t em);

    TFontCache(const TFontCache&) = delete;
    TFontCache& operator=(const TFontCache&) = delete;

private:
    TFontCache();
    ~TFontCache();

    struct TLibraryDeleter {
        void operator()(FT_Library library) const { FT_Done_FreeType(library); }
    };
    struct TFaceDeleter {
        void operator()(FT_Face face) const { FT_Done_Face(face); }
    };
    using TLibraryPtr = std::unique_ptr<FT_LibraryRec_, TLibraryDeleter>;
    using TFacePtr = std::unique_ptr<FT_FaceRec_, TFaceDeleter>;

    FT_Face OpenFace(const std::string& file, int index);

    std::mutex mutex_;
    TLibraryPtr library_;
    std::map<std::pair<std::string, int>, TFacePtr> faces_;
    std::map<std::tuple<std::string, bool, bool>, TFaceMatch> matches_;
};

}  // namespace luma
