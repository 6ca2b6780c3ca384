#include "thumbpages/thumb_settings.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

#include "util/ini_file.h"
#include "util/user_prompt.h"

namespace luma {

namespace {

constexpr const char* kStep1 = "STEP1";
constexpr const char* kStep2 = "STEP2";
constexpr int32_t kNoColor = -1;

int32_t ClampTo(int32_t value, int32_t low, int32_t high) { return std::clamp(value, low, high); }

template <size_t N>
int32_t IndexOr(int32_t value, const char* const (&)[N], int32_t fallback) {
    return value >= 0 && value < static_cast<int32_t>(N) ? value : fallback;
}

std::optional<TColor> ReadTableColor(const TIniBinder& ini, const char* key) {
    const int32_t value = ini.ReadInteger(kStep1, key, kNoColor);
    if (value == kNoColor) return std::nullopt;
    return static_cast<TColor>(value);
}

TColor ReadPageColor(const TIniBinder& ini, const char* key, TColor fallback) {
    return static_cast<TColor>(ini.ReadInteger(kStep2, key, static_cast<int32_t>(fallback)));
}

}  // namespace

void TThumbSettings::ResetPageColors() {
    const TThumbSettings defaults;
    PageBackground = defaults.PageBackground;
    PageText = defaults.PageText;
    PageLink = defaults.PageLink;
    PageVLink = defaults.PageVLink;
    PageALink = defaults.PageALink;
}

void TThumbSettings::Clamp() {
    const TThumbSettings defaults;
    Extension = IndexOr(Extension, kPageExtensions, defaults.Extension);
    ImageAlign = IndexOr(ImageAlign, kImageAlignments, defaults.ImageAlign);
    Format = IndexOr(Format, kThumbFormats, defaults.Format);
    Align = Align >= taDefault && Align <= taFullWidth ? Align : defaults.Align;
    Width = ClampTo(Width, 10, 1000);
    OrgWidth = ClampTo(OrgWidth, 10, 1000);
    TableRows = ClampTo(TableRows, 1, 200);
    TableCols = ClampTo(TableCols, 1, 200);
    CellPadding = ClampTo(CellPadding, 0, 200);
    TableBorder = ClampTo(TableBorder, 0, 10);
    if (PageNamePrefix.size() > 200) PageNamePrefix.resize(200);
    if (Homepage.size() > 200) Homepage.resize(200);
}

TThumbSettingsFiles::TThumbSettingsFiles(const std::string& folder)
    : DataFile(folder + "thumbnail.dat"), HeadingFile(folder + "heading.dat"), CommentFile(folder + "comment.dat") {}

TThumbSettings LoadThumbSettings(const TThumbSettingsFiles& files, const std::string& defaultOutputFolder) {
    TThumbSettings s;
    s.OutputFolder = defaultOutputFolder;
    const TThumbSettings d = s;
    TIniBinder ini;
    ini.FileName = files.DataFile;

    s.PageNamePrefix = ini.ReadString(kStep1, "PageNamePrefix", d.PageNamePrefix);
    s.Extension = ini.ReadInteger(kStep1, "Extension", d.Extension);
    s.Homepage = ini.ReadString(kStep1, "Homepage", d.Homepage);
    s.Width = ini.ReadInteger(kStep1, "Width", d.Width);
    s.ImageAlign = ini.ReadInteger(kStep1, "ImageAlign", d.ImageAlign);
    s.Format = ini.ReadInteger(kStep1, "Format", d.Format);
    s.Lowercase = ini.ReadBool(kStep1, "Lowercase", d.Lowercase);
    s.FileName = ini.ReadBool(kStep1, "FileName", d.FileName);
    s.FileSize = ini.ReadBool(kStep1, "FileSize", d.FileSize);
    s.FileDim = ini.ReadBool(kStep1, "FileDim", d.FileDim);
    s.Thumbnail = ini.ReadBool(kStep1, "Thumbnail", d.Thumbnail);
    s.Target = ini.ReadString(kStep1, "Target", d.Target);
    s.SmallerOrg = ini.ReadBool(kStep1, "SmallerOrg", d.SmallerOrg);
    s.OrgWidth = ini.ReadInteger(kStep1, "OrgWidth", d.OrgWidth);
    s.Align = ini.ReadInteger(kStep1, "Align", d.Align);
    s.TableRows = ini.ReadInteger(kStep1, "TableRows", d.TableRows);
    s.TableCols = ini.ReadInteger(kStep1, "TableCols", d.TableCols);
    s.CellPadding = ini.ReadInteger(kStep1, "CellPadding", d.CellPadding);
    s.TableBorder = ini.ReadInteger(kStep1, "TableBorder", d.TableBorder);
    s.BorderColor = ReadTableColor(ini, "BorderColor");
    s.BackgroundColor = ReadTableColor(ini, "BackgroundColor");

    if (auto text = ReadTextLines(files.HeadingFile)) s.Heading = *text;
    if (auto text = ReadTextLines(files.CommentFile)) s.Comment = *text;

    s.PageTitle = ini.ReadString(kStep2, "PageTitle", d.PageTitle);
    s.OutputFolder = ini.ReadString(kStep2, "OutputFolder", d.OutputFolder);
    s.Launch = ini.ReadBool(kStep2, "Launch", d.Launch);
    s.DontUnderline = ini.ReadBool(kStep2, "DontUnderline", d.DontUnderline);
    s.Hover = ini.ReadBool(kStep2, "Hover", d.Hover);
    s.PageBackground = ReadPageColor(ini, "PageBackground", d.PageBackground);
    s.PageText = ReadPageColor(ini, "PageText", d.PageText);
    s.PageLink = ReadPageColor(ini, "PageLink", d.PageLink);
    s.PageVLink = ReadPageColor(ini, "PageVLink", d.PageVLink);
    s.PageALink = ReadPageColor(ini, "PageALink", d.PageALink);
    s.PageFontName = ini.ReadString(kStep2, "PageFontName", d.PageFontName);
    s.PageFontSize = ini.ReadInteger(kStep2, "PageFontSize", d.PageFontSize);

    s.Clamp();
    return s;
}

bool SaveThumbSettings(const TThumbSettingsFiles& files, const TThumbSettings& s) {
    TIniBinder ini;
    ini.FileName = files.DataFile;
    bool ok = true;
    auto str = [&](const char* section, const char* key, const std::string& value) {
        ok = ini.WriteString(section, key, value) && ok;
    };
    auto num = [&](const char* section, const char* key, int32_t value) {
        ok = ini.WriteInteger(section, key, value) && ok;
    };
    auto flag = [&](const char* section, const char* key, bool value) {
        ok = ini.WriteBool(section, key, value) && ok;
    };
    auto color = [&](const char* section, const char* key, std::optional<TColor> value) {
        num(section, key, value ? static_cast<int32_t>(*value) : kNoColor);
    };

    str(kStep1, "PageNamePrefix", s.PageNamePrefix);
    num(kStep1, "Extension", s.Extension);
    str(kStep1, "Homepage", s.Homepage);
    num(kStep1, "Width", s.Width);
    num(kStep1, "ImageAlign", s.ImageAlign);
    num(kStep1, "Format", s.Format);
    flag(kStep1, "Lowercase", s.Lowercase);
    flag(kStep1, "FileName", s.FileName);
    flag(kStep1, "FileSize", s.FileSize);
    flag(kStep1, "FileDim", s.FileDim);
    flag(kStep1, "Thumbnail", s.Thumbnail);
    str(kStep1, "Target", s.Target);
    flag(kStep1, "SmallerOrg", s.SmallerOrg);
    num(kStep1, "OrgWidth", s.OrgWidth);
    num(kStep1, "Align", s.Align);
    num(kStep1, "TableRows", s.TableRows);
    num(kStep1, "TableCols", s.TableCols);
    num(kStep1, "CellPadding", s.CellPadding);
    num(kStep1, "TableBorder", s.TableBorder);
    color(kStep1, "BorderColor", s.BorderColor);
    color(kStep1, "BackgroundColor", s.BackgroundColor);

    ok = WriteTextLines(files.HeadingFile, s.Heading) && ok;
    ok = WriteTextLines(files.CommentFile, s.Comment) && ok;

    str(kStep2, "PageTitle", s.PageTitle);
    str(kStep2, "OutputFolder", s.OutputFolder);
    flag(kStep2, "Launch", s.Launch);
    flag(kStep2, "DontUnderline", s.DontUnderline);
    flag(kStep2, "Hover", s.Hover);
    color(kStep2, "PageBackground", s.PageBackground);
    color(kStep2, "PageText", s.PageText);
    color(kStep2, "PageLink", s.PageLink);
    color(kStep2, "PageVLink", s.PageVLink);
    color(kStep2, "PageALink", s.PageALink);
    str(kStep2, "PageFontName", s.PageFontName);
    num(kStep2, "PageFontSize", s.PageFontSize);
    return ok;
}

std::string ToCrLf(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 16);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += "\r\n";
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::optional<std::string> ReadTextLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return std::nullopt;
    text = ToCrLf(text);
    // The last line's own line end is not part of the text.
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
    return text;
}

bool WriteTextLines(const std::string& path, const std::string& text) {
    std::error_code ec;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    if (!text.empty()) out << ToCrLf(text) << "\r\n";
    out.flush();
    return static_cast<bool>(out);
}

std::string ColorText(TColor color) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02X%02X%02X", static_cast<unsigned>(color & 0xFF),
                  static_cast<unsigned>((color >> 8) & 0xFF), static_cast<unsigned>((color >> 16) & 0xFF));
    return text;
}

std::optional<TColor> ParseColorText(const std::string& text) {
    std::string hex = text;
    if (!hex.empty() && hex[0] == '#') hex.erase(0, 1);
    if (hex.size() == 6 && std::all_of(hex.begin(), hex.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; })) {
        const auto rgb = static_cast<TColor>(std::stoul(hex, nullptr, 16));
        return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
    }
    if (text.empty() || text[0] == '#') return std::nullopt;
    const std::optional<int32_t> value = ParseIniInteger(text);
    if (!value || *value < 0 || *value > 0xFFFFFF) return std::nullopt;
    return static_cast<TColor>(*value);
}

TOutputFolderCheck CheckOutputFolder(const std::string& folder, TUserPrompt& prompt) {
    const auto first = folder.find_first_not_of(" \t");
    if (first == std::string::npos) {
        prompt.ShowMessage(kNoOutputFolderText);
        return TOutputFolderCheck::Empty;
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return TOutputFolderCheck::Ready;
    if (prompt.MessageBox(kApplicationTitle, kCreateOutputFolderText, TMsgIcon::Question, TMsgButtons::YesNoCancel) !=
        TMsgResult::Yes) {
        return TOutputFolderCheck::Declined;
    }
    fs::create_directories(folder, ec);
    if (fs::is_directory(folder, ec)) return TOutputFolderCheck::Ready;
    prompt.ShowMessage(kOutputFolderFailedText);
    return TOutputFolderCheck::Failed;
}

}  // namespace luma
