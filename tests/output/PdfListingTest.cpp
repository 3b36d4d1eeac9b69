// SPDX-License-Identifier: GPL-3.0-or-later
// The listing's own PDF writer: its text read back by an independent reader
// (poppler's pdftotext and pdftoppm) from a document it updated, the
// documents it must leave alone, and the embedded font cut down to the
// glyphs used.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "base/SafeFile.h"
#include "output/PdfListing.h"
#include "output/TrueTypeSubset.h"

using namespace kolvex;
namespace fs = std::filesystem;

namespace {

const char* const kFontFile = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

// A new file with these bytes (anything at the name removed first).
void WriteNew(const fs::path& p, const std::string& bytes) {
    fs::remove(p);
    UniqueFd fd = CreateNewFile(p.string(), 0600);
    ASSERT_TRUE(fd) << p;
    ASSERT_EQ(::write(fd.Get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

unsigned U16(const std::string& s, std::size_t at) {
    return static_cast<unsigned char>(s[at]) << 8 | static_cast<unsigned char>(s[at + 1]);
}
unsigned U32(const std::string& s, std::size_t at) { return U16(s, at) << 16 | U16(s, at + 2); }

// The tables of a font file by tag.
std::map<std::string, std::string> Tables(const std::string& file) {
    std::map<std::string, std::string> t;
    for (unsigned i = 0; i < U16(file, 4); ++i) {
        const std::size_t rec = 12 + std::size_t{i} * 16;
        t[file.substr(rec, 4)] = file.substr(U32(file, rec + 8), U32(file, rec + 12));
    }
    return t;
}

TrueTypeFont FontOf(const std::map<std::string, std::string>& tables) {
    return TrueTypeFont([&tables](const char* tag) {
        auto it = tables.find(tag);
        return it == tables.end() ? std::string() : it->second;
    });
}

// The glyph of a character from the font's Windows Unicode map (format 4).
std::uint16_t GlyphOf(const std::map<std::string, std::string>& tables, char16_t c) {
    const std::string& cmap = tables.at("cmap");
    for (unsigned i = 0; i < U16(cmap, 2); ++i) {
        const std::size_t rec = 4 + std::size_t{i} * 8;
        if (U16(cmap, rec) != 3 || U16(cmap, rec + 2) != 1) continue;
        const std::size_t sub = U32(cmap, rec + 4);
        const unsigned segs = U16(cmap, sub + 6) / 2;
        const std::size_t ends = sub + 14, starts = ends + 2 * segs + 2, deltas = starts + 2 * segs,
                          ranges = deltas + 2 * segs;
        for (unsigned s = 0; s < segs; ++s) {
            if (U16(cmap, ends + 2 * s) < c) continue;
            const unsigned start = U16(cmap, starts + 2 * s), delta = U16(cmap, deltas + 2 * s),
                           range = U16(cmap, ranges + 2 * s);
            if (start > c) return 0;
            if (range == 0) return static_cast<std::uint16_t>((c + delta) & 0xFFFF);
            const unsigned g = U16(cmap, ranges + 2 * s + range + 2 * (c - start));
            return static_cast<std::uint16_t>(g ? (g + delta) & 0xFFFF : 0);
        }
    }
    return 0;
}

// A one-page document as a plain writer leaves it, with a line of its own
// text; `edit` changes its text before the offsets are counted.
std::string Document(const std::function<void(std::vector<std::string>&)>& edit = {}) {
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R /Resources 5 0 R >>",
        "<< /Length 46 >>\nstream\nBT /F1 12 Tf 1 0 0 1 72 800 Tm (Heading) Tj ET\nendstream",
        "<< /Font << /F1 6 0 R >> >>",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    if (edit) edit(objects);
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t o : offsets) {
        char e[24];
        std::snprintf(e, sizeof e, "%010zu 00000 n \n", o);
        pdf += e;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

std::string Output(const std::string& cmd) {
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0) << cmd;
    return out;
}

class PdfListing : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kolvex-pdflisting-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        tables_ = Tables(Slurp(kFontFile));
        ASSERT_FALSE(tables_.empty()) << kFontFile;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Writes the document, lets the writer put the cells on its page and
    // update it; the result of Finish.
    bool Update(const std::string& document, const std::vector<std::pair<double, std::u16string>>& cells,
                std::size_t page = 0) {
        const TrueTypeFont font = FontOf(tables_);
        WriteNew(pdf_, document);
        fs::remove(dir_ / "scratch");
        UniqueFd scratch = CreateNewFile((dir_ / "scratch").string(), 0600);
        PdfListingWriter writer(font, 150, scratch.Get(), [](const std::string& why) { throw std::runtime_error(why); });
        // Device units of 1/1200 inch, y downwards, the origin 72 pt from the
        // left and 42 pt below the top.
        writer.BeginPage(page, {0.06, -0.06, 72, 800});
        double y = 1000;
        for (const auto& [x, text] : cells) {
            std::vector<std::uint16_t> glyphs;
            for (char16_t c : text) {
                glyphs.push_back(GlyphOf(tables_, c));
                writer.SetUnicode(glyphs.back(), c);
            }
            writer.Cell(x, y, glyphs.data(), glyphs.size());
            y += 200;
        }
        writer.EndPage();
        UniqueFd fd(::open(pdf_.c_str(), O_RDWR | O_CLOEXEC));
        return writer.Finish(fd.Get());
    }

    fs::path dir_, pdf_ = fs::temp_directory_path() / ("kolvex-pdflisting-" + std::to_string(::getpid())) / "doc.pdf";
    std::map<std::string, std::string> tables_;
};

TEST_F(PdfListing, CellsReadBackWhereTheyWereSetAndTheDocumentStays) {
    const std::string document = Document();
    // Characters whose glyph numbers hold the bytes a literal string escapes.
    std::u16string escaped;
    for (char16_t c = u'A'; c < 0x180; ++c) {
        const unsigned low = GlyphOf(tables_, c) & 0xFF;
        if (low == '(' || low == ')' || low == '\\' || low == '\r') escaped += c;
    }
    ASSERT_GE(escaped.size(), 4u);
    ASSERT_TRUE(Update(document, {{500, u"01.02.2024 10:20:30"}, {1000, u"  -12.5 °C"}, {0, u"žluťoučký kůň"},
                                  {0, escaped}}));
    const std::string updated = Slurp(pdf_);
    EXPECT_EQ(updated.substr(0, document.size()), document) << "an update only appends";

    // Every word where its cell put it: x = 72 pt + 0.06 pt a unit (leading
    // blanks advance), one line every 12 pt from 740 pt up, the document's
    // own text still there.
    const std::string boxes = Output("pdftotext -bbox '" + pdf_.string() + "' - 2>&1");
    std::map<std::string, std::pair<double, double>> words;  // text: xMin, yMax
    const std::regex word(R"re(xMin="([-\d.]+)" yMin="[-\d.]+" xMax="[-\d.]+" yMax="([-\d.]+)">([^<]*)</word>)re");
    for (std::sregex_iterator it(boxes.begin(), boxes.end(), word), end; it != end; ++it)
        words[(*it)[3]] = {std::stod((*it)[1]), std::stod((*it)[2])};
    const double space = 0.06 * 150 * 0.2779;  // a blank of the font at 9 pt
    const struct {
        const char* Text;
        double X, Baseline;
    } expected[] = {{"01.02.2024", 72 + 30, 842 - 42 - 60}, {"°C", -1, 842 - 42 - 72},
                    {"-12.5", 72 + 60 + 2 * space, 842 - 42 - 72}, {"žluťoučký", 72, 842 - 42 - 84},
                    {"kůň", -1, 842 - 42 - 84}, {"Heading", 72, -1}};
    std::string escapedUtf8;
    for (char16_t c : escaped) {
        if (c < 0x80) {
            escapedUtf8 += static_cast<char>(c);
        } else {
            escapedUtf8 += static_cast<char>(0xC0 | c >> 6);
            escapedUtf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    EXPECT_TRUE(words.count(escapedUtf8)) << escapedUtf8 << "\n" << boxes;
    for (const auto& e : expected) {
        ASSERT_TRUE(words.count(e.Text)) << e.Text << "\n" << boxes;
        if (e.X >= 0) {
            EXPECT_NEAR(words[e.Text].first, e.X, 0.05) << e.Text;
        }
        // The box reaches a little below the baseline (the font's descent).
        if (e.Baseline >= 0) {
            EXPECT_NEAR(words[e.Text].second, 842 - e.Baseline + 0.06 * 150 * 0.212, 0.3) << e.Text;
        }
    }
    // The embedded font draws without complaint.
    EXPECT_EQ(Output("pdftoppm -r 30 -png '" + pdf_.string() + "' '" + (dir_ / "page").string() + "' 2>&1"), "");
}

TEST_F(PdfListing, DocumentsItCannotUpdateAreLeftAlone) {
    const auto replace = [](std::size_t object, const std::string& text) {
        return [=](std::vector<std::string>& objects) { objects[object] = text; };
    };
    const std::string noStart = [] {
        std::string d = Document();
        return d.substr(0, d.find("startxref"));
    }();
    const std::string xrefStream = [] {
        std::string d = Document();
        const std::size_t at = d.find("startxref\n") + 10;
        return d.substr(0, at) + "9\n%%EOF\n";  // not a table
    }();
    const struct {
        const char* Why;
        std::string Pdf;
        std::size_t Page;
    } cases[] = {
        {"no startxref", noStart, 0},
        {"the cross-reference not a table", xrefStream, 0},
        {"a nested page tree", Document(replace(1, "<< /Type /Pages /Kids [2 0 R] /Count 1 >>")), 0},
        {"fonts as an indirect object", Document(replace(4, "<< /Font 6 0 R >>")), 0},
        {"a page the document does not have", Document(), 3},
        {"a trailer without its root", [] {
             std::string d = Document();
             d.replace(d.find("/Root 1 0 R"), 11, "/Rooted 1 0");
             return d;
         }(), 0},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(Update(c.Pdf, {{0, u"1.5"}}, c.Page)) << c.Why;
        EXPECT_EQ(Slurp(pdf_), c.Pdf) << c.Why << ": nothing written";
    }
}

TEST(TrueTypeSubset, KeepsTheOutlinesUsedAndTheirComponents) {
    const auto tables = Tables(Slurp(kFontFile));
    const TrueTypeFont font = FontOf(tables);
    // A composite glyph (an accented capital) and its components.
    const std::uint16_t composite = GlyphOf(tables, u'Ž'), plain = GlyphOf(tables, u'8'), unused = GlyphOf(tables, u'Q');
    const std::string& glyf = tables.at("glyf");
    const std::string& loca = tables.at("loca");
    const bool longLoca = U16(tables.at("head"), 50) != 0;
    auto start = [&](unsigned g) { return longLoca ? U32(loca, 4 * g) : 2 * U16(loca, 2 * g); };
    ASSERT_GT(0x8000u & U16(glyf, start(composite)), 0u) << "Ž is composite in this font";
    const std::uint16_t component = static_cast<std::uint16_t>(U16(glyf, start(composite) + 12));

    const std::string subset = font.Subset({composite, plain});
    const auto subTables = Tables(subset);
    const TrueTypeFont cut = FontOf(subTables);
    EXPECT_EQ(cut.GlyphCount(), font.GlyphCount());
    for (const std::uint16_t g : {composite, plain, component}) EXPECT_FALSE(cut.Blank(g)) << g;
    EXPECT_TRUE(cut.Blank(unused));
    EXPECT_FALSE(font.Blank(unused));
    EXPECT_DOUBLE_EQ(cut.Width(plain), font.Width(plain));
    EXPECT_LT(subset.size(), Slurp(kFontFile).size() / 4);
    EXPECT_EQ(cut.PostScriptName(), "LiberationSans");
}

}  // namespace
