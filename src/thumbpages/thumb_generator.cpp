#include "thumbpages/thumb_generator.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "batch/fitted_size.h"
#include "formats/image_component.h"
#include "util/paths.h"
#include "util/user_prompt.h"

namespace luma {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCrLf = "\r\n";

// The last path element.
std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file name without its extension (from the last "." on).
std::string WithoutExt(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string ExtOf(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string Joined(const std::vector<std::string>& lines) {
    size_t size = 0;
    for (const std::string& line : lines) size += line.size() + 2;
    std::string text;
    text.reserve(size);
    for (const std::string& line : lines) {
        text += line;
        text += kCrLf;
    }
    return text;
}

bool WriteWhole(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return !out.fail();
}

}  // namespace

std::vector<std::string> SortedForPages(const std::vector<std::string>& paths) {
    std::vector<std::string> sorted = paths;
    // The C/POSIX locale maps to a collation in code-point order with case as a primary difference;
    // the root collation stands in for it.
    icu::Locale locale = icu::Locale::getDefault();
    if (std::strcmp(locale.getVariant(), "POSIX") == 0) locale = icu::Locale::getRoot();
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !collator) {
        status = U_ZERO_ERROR;
        collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    }
    if (U_FAILURE(status) || !collator) {
        std::stable_sort(sorted.begin(), sorted.end());
        return sorted;
    }
    // Secondary strength: letter case does not count, accents do.
    collator->setStrength(icu::Collator::SECONDARY);
    std::stable_sort(sorted.begin(), sorted.end(), [&](const std::string& a, const std::string& b) {
        UErrorCode compareStatus = U_ZERO_ERROR;
        return collator->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                                     icu::StringPiece(b.data(), static_cast<int32_t>(b.size())),
                                     compareStatus) == UCOL_LESS;
    });
    return sorted;
}

int32_t PageCount(int32_t count, int32_t rows, int32_t cols) {
    const int64_t perPage = static_cast<int64_t>(rows) * cols;
    if (count <= 0 || perPage <= 0) return 0;
    return static_cast<int32_t>((count + perPage - 1) / perPage);
}

std::string HtmlText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '"': out += "&quot;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '&': out += "&amp;"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

std::string UrlAttribute(const std::string& fileName) {
    std::string encoded;
    encoded.reserve(fileName.size());
    for (char c : fileName) {
        switch (c) {
            case '#': encoded += "%23"; break;
            case '?': encoded += "%3F"; break;
            case '%': encoded += "%25"; break;
            default: encoded.push_back(c);
        }
    }
    return HtmlText(encoded);
}

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// One run: the values taken at its start and the page text being built.
struct TThumbGenerator::TRun {
    TThumbGenerator& owner;
    const TThumbSettings& s;
    std::vector<std::string> sorted;
    int32_t n = 0;
    int32_t pageCount = 0;
    std::string folder;  // O
    std::string font;    // F
    std::string imageAlign;  // IA
    int32_t cell = 0;
    std::string currentPage;

    TRun(TThumbGenerator& generator, const TThumbSettings& settings, const std::vector<std::string>& sources)
        : owner(generator), s(settings), sorted(SortedForPages(sources)), n(static_cast<int32_t>(sorted.size())),
          pageCount(PageCount(n, settings.TableRows, settings.TableCols)),
          folder(AddTrailingSeparator(settings.OutputFolder)), font(settings.PageFontName) {
        if (s.ImageAlign > 0) imageAlign = std::string(" align = \"") + kImageAlignments[s.ImageAlign] + "\"";
    }

    bool StopNow() {
        owner.view_.ProcessEvents();
        return owner.StopRequested.load();
    }

    void Problem(const std::string& message) {
        ++owner.Problems;
        owner.view_.ReportProblem(message);
    }

    std::string PageName(int32_t k) const {
        if (pageCount <= 1) return s.PageNamePrefix + s.PageExtension();
        return s.PageNamePrefix + std::to_string(k) + s.PageExtension();
    }

    void Header(std::vector<std::string>& lines) const {
        const std::string bg = ColorText(s.PageBackground), tx = ColorText(s.PageText), lk = ColorText(s.PageLink),
                          vl = ColorText(s.PageVLink), al = ColorText(s.PageALink);
        lines.push_back("<html>");
        lines.push_back("<head>");
        lines.push_back("  <title>" + s.PageTitle + "</title>");
        if (s.DontUnderline) {
            lines.insert(lines.end(), {"  <style type=\"text/css\">", "  <!--", "       A:link {text-decoration: none;}",
                                       "       A:visited {text-decoration: none;}", "  -->", "  </style>"});
        }
        if (s.Hover) {
            lines.insert(lines.end(), {"  <style>", "  <!--", "       a:hover {text-decoration: none; color:" + lk + "}",
                                       "  -->", "  </style>"});
        }
        lines.push_back("</head>");
        lines.push_back("<body bgcolor=\"" + bg + "\" text=\"" + tx + "\" link=\"" + lk + "\" alink=\"" + al +
                        "\" vlink=\"" + vl + "\">");
        const bool center = s.Align == taCenter;
        lines.push_back((center ? "<p align=center>" : "<p>") + std::string("<font face=\"") + font + "\" size=5>" +
                        ToCrLf(s.Heading) + "</font></p>");
        lines.push_back((center ? "<p align=\"center\">" : "<p>") + std::string("<font face=\"") + font + "\">" +
                        ToCrLf(s.Comment) + "</font></p>");
        lines.push_back("<font size=\"2\" face=\"" + font + "\">");
    }

    bool Load(const std::string& source, int32_t& width, int32_t& height) {
        TImageComponent& image = *owner.image_;
        image.IO().Aborting = false;
        try {
            image.LoadImageFile(source);
        } catch (...) {
            return false;
        }
        width = image.Bitmap().Width();
        height = image.Bitmap().Height();
        return !image.IO().Aborting && width > 0 && height > 0;
    }

    void Fit(int32_t box) {
        TImageComponent& image = *owner.image_;
        const TDimensions fitted = FittedSize(image.Bitmap().Width(), image.Bitmap().Height(), box, box);
        if (fitted.Width > 0 && fitted.Height > 0) image.Resample(fitted.Width, fitted.Height, rfBell);
    }

    bool Save(const std::string& path) {
        TImageComponent& image = *owner.image_;
        image.IO().Aborting = false;
        try {
            if (s.Format == 0) {
                image.SaveAsGIF(path);
            } else {
                image.Params().JpegQuality = 80;
                image.SaveAsJPEG(path);
            }
        } catch (...) {
            return false;
        }
        return !image.IO().Aborting;
    }

    // Writes the page that shows the full-size target; returns its file name, empty on failure.
    std::string ImagePage(const std::string& target) {
        const std::string path = folder + WithoutExt(NameOf(target)) + s.PageExtension();
        std::vector<std::string> lines;
        Header(lines);
        lines.push_back("<p align=\"center\"><a href=\"" + UrlAttribute(NameOf(currentPage)) + "\">Back</a></p>");
        lines.emplace_back();
        lines.push_back("<p align=\"center\"><img src=\"" + UrlAttribute(NameOf(target)) + "\"></p>");
        lines.push_back("</font></body></html>");
        if (!WriteWhole(path, Joined(lines))) return {};
        owner.CreatedFiles.push_back(path);
        return NameOf(path);
    }

    // The cell line for one source; empty when the source had to be left out.
    std::string ImageCell(const std::string& source) {
        std::string thumbName = "tn_" + WithoutExt(NameOf(source)) + s.ThumbExtension();
        if (s.Lowercase) thumbName = AsciiLower(thumbName);
        const std::string thumb = folder + thumbName;
        owner.view_.SetStatus("Processing: " + source);
        owner.view_.ProcessEvents();

        int32_t w0 = 0, h0 = 0;
        if (!Load(source, w0, h0)) {
            Problem("Skipped " + source + ": the image could not be loaded");
            return {};
        }
        Fit(s.Width);
        if (!Save(thumb)) {
            Problem("Skipped " + source + ": the thumbnail " + thumb + " could not be written");
            return {};
        }
        owner.CreatedFiles.push_back(thumb);

        std::string target;
        int32_t dimW = w0, dimH = h0;
        std::error_code ec;
        if (s.SmallerOrg) {
            target = WithoutExt(thumb) + "_sm" + ExtOf(thumbName);
            if (Load(source, w0, h0)) {
                Fit(s.OrgWidth);
                if (Save(target)) {
                    owner.CreatedFiles.push_back(target);
                } else {
                    Problem("The smaller version " + target + " could not be written");
                }
                if (s.Thumbnail) {
                    dimW = owner.image_->Bitmap().Width();
                    dimH = owner.image_->Bitmap().Height();
                }
            } else {
                Problem("The smaller version of " + source + " could not be made: the image could not be loaded");
            }
        } else {
            target = folder + NameOf(source);
            if (!fs::exists(target, ec)) fs::copy_file(source, target, fs::copy_options::none, ec);
            if (fs::exists(target, ec)) {
                owner.CreatedFiles.push_back(target);
            } else {
                Problem("The copy " + target + " could not be written");
            }
        }

        std::string link;
        if (s.Thumbnail) {
            link = ImagePage(target);
            if (link.empty()) {
                // The per-image page is left out silently; the link still names it.
                link = WithoutExt(NameOf(target)) + s.PageExtension();
            }
        }
        const std::string href = UrlAttribute(link);
        const bool links = s.Thumbnail;

        std::string line;
        if (links) {
            line += "<a href=\"" + href + "\"";
            if (!s.Target.empty()) line += " target=\"" + s.Target + "\"";
            line += ">";
        }
        line += "<img src=\"" + UrlAttribute(thumbName) + "\"" + imageAlign;
        if (s.TableBorder == 0) line += " border=\"0\"";
        line += ">";
        if (links) line += "</a>";
        line += "<font size=\"1\" face=\"" + font + "\">";
        if (links) line += "<a href=\"" + href + "\">";
        if (s.FileName) {
            line += "<br>";
            if (links) line += "<a href=\"" + href + "\">";
            line += HtmlText(NameOf(target));
            if (links) line += "</a>";
        }
        if (s.FileSize) {
            const std::uintmax_t size = fs::file_size(links ? target : source, ec);
            if (!ec) line += "<br>" + std::to_string(size) + " bytes";
        }
        if (s.FileDim) line += "<br>" + std::to_string(dimW) + " x " + std::to_string(dimH);
        if (links) line += "</a>";
        line += "</font>";
        return line;
    }

    void Rows(std::vector<std::string>& lines) {
        const int32_t columns = n < s.TableCols ? n : s.TableCols;
        for (int32_t row = 0; row < s.TableRows; ++row) {
            if (StopNow() || cell >= n) break;
            lines.push_back("<tr>");
            for (int32_t column = 0; column < columns; ++column) {
                if (StopNow()) break;
                lines.push_back("  <td align=\"center\">");
                std::string content;
                if (cell < n) content = ImageCell(sorted[static_cast<size_t>(cell)]);
                lines.push_back(content.empty() ? "&nbsp;" : content);
                ++cell;
                owner.view_.SetProgress(cell);
                lines.push_back("</td>");
            }
            lines.push_back("</tr>");
        }
    }

    void Page(int32_t k) {
        currentPage = folder + PageName(k);
        const bool center = s.Align == taCenter;
        const bool several = pageCount > 1;
        std::vector<std::string> lines;
        Header(lines);
        lines.push_back((center ? "<p align=\"center\">" : "<p>") + std::string("<a href=\"") + s.Homepage +
                        "\">Home</a>&nbsp;");
        auto pageLink = [&](int32_t page, const std::string& text) {
            return "<a href=\"" + UrlAttribute(PageName(page)) + "\">" + text + "</a>&nbsp;";
        };
        if (several) lines.push_back(pageLink(1, "[ First Page ]"));
        if (several && k > 1) lines.push_back(pageLink(k - 1, "[ Previous Page ]"));
        if (several && k < pageCount) lines.push_back(pageLink(k + 1, "[ Next Page ]"));
        if (several) lines.push_back(pageLink(pageCount, "[ Last Page ]"));
        lines.push_back("</font>");
        lines.push_back("</p>");

        std::string table = "<table ";
        if (s.BorderColor) table += "bordercolor=\"" + ColorText(*s.BorderColor) + "\" ";
        table += "border=\"" + std::to_string(s.TableBorder) + "\" cellpadding=\"" + std::to_string(s.CellPadding) + "\"";
        if (s.BackgroundColor) table += " bgcolor=\"" + ColorText(*s.BackgroundColor) + "\"";
        if (s.Align == taCenter) table += " align=\"center\"";
        if (s.Align == taFullWidth) table += " width=\"100%\"";
        table += ">";
        lines.push_back(table);
        Rows(lines);
        lines.push_back("</table>");
        if (several) {
            lines.push_back((center ? "<p align=\"center\">" : "<p>") + std::string("<font size=\"2\" face=\"") + font +
                            "\">Page: ");
            for (int32_t page = 1; page <= pageCount; ++page) {
                const std::string number = "[" + std::to_string(page) + "]";
                lines.push_back(page == k ? number + "&nbsp;" : pageLink(page, number));
            }
            lines.push_back("</font></p>");
        }
        lines.push_back("</font></body></html>");
        if (WriteWhole(currentPage, Joined(lines))) {
            owner.CreatedFiles.push_back(currentPage);
        } else {
            Problem("The page " + currentPage + " could not be written");
        }
    }
};

TThumbGenerator::TThumbGenerator(TThumbView& view, TUserPrompt& prompt)
    : view_(view), prompt_(prompt), image_(std::make_unique<TImageComponent>()) {}

TThumbGenerator::~TThumbGenerator() = default;

bool TThumbGenerator::Run(const TThumbSettings& settings, const std::vector<std::string>& sources) {
    if (running_) return false;
    running_ = true;
    CreatedFiles.clear();
    FirstPage.clear();
    Problems = 0;
    StopRequested = false;
    stopped_ = false;

    TThumbSettings s = settings;
    s.Clamp();
    TRun run(*this, s, sources);
    view_.SetStopEnabled(true);
    view_.SetStatus(kStatusProcessing);
    view_.SetProgressRange(0, run.n > 1 ? run.n - 1 : 1);
    view_.SetProgress(0);

    int32_t written = 0;
    for (int32_t k = 1; k <= run.pageCount; ++k) {
        if (run.StopNow()) break;
        run.Page(k);
        ++written;
    }
    stopped_ = StopRequested.load();
    view_.SetStatus(stopped_ ? kStatusAborted : kStatusCompleted);
    // A run that wrote no page (an empty list) has nothing to open.
    if (s.Launch && !stopped_ && written > 0) {
        FirstPage = run.folder + run.PageName(1);
        ShellOpen(FirstPage, prompt_, Launcher);
    }
    view_.RunEnded(stopped_, FirstPage);
    view_.SetStopEnabled(false);
    running_ = false;
    return true;
}

}  // namespace luma
