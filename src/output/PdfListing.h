// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of a long listing written into a PDF document that another writer
// made (the printer's PDF output, with its title blocks, column headers,
// footers and any drawn page): each page's listing cells become a content
// stream of our own, set in an embedded subset of one TrueType font with one
// text string per cell and the font's widths placing the glyphs, deflated at
// a level of our choosing. The document gets them as an incremental update:
// the new streams and font objects, each listing page and its resources
// restated to name them too, and a cross-reference section of its own after
// the document's. A page's streams are held on a scratch file until the
// document is complete, so memory does not grow with the page count.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "output/TrueTypeSubset.h"

namespace kolvex {

namespace pdf_detail {
class Appender;
}

// From the device units the cells are placed in to the PDF page's points:
// x' = A x + E, y' = D y + F (the device's y grows downwards, so D < 0).
struct PdfPageMatrix {
    double A = 1, D = -1, E = 0, F = 0;
};

class PdfListingWriter {
public:
    // fontSize: the font's em in device units. scratchFd: an empty file,
    // open for reading and writing, for the compressed page streams. `fail`
    // is called with the reason when a read or write fails; it must throw.
    PdfListingWriter(const TrueTypeFont& font, double fontSize, int scratchFd,
                     std::function<void(const std::string& why)> fail, int level = 3);

    // What a glyph stands for, so that text extraction reads the listing.
    void SetUnicode(std::uint16_t glyph, char32_t c);

    // page: the index of the document's page (from 0) the cells go on.
    void BeginPage(std::size_t page, const PdfPageMatrix& m);
    // A cell's glyphs from x on the baseline y: each glyph advances by its
    // width; blanks (glyphs without an outline) are not drawn, only advance.
    void Cell(double x, double y, const std::uint16_t* glyphs, std::size_t n);
    void EndPage();

    // Appends the update to the complete document in pdfFd (open for reading
    // and writing). False, with nothing written, when the document is not laid
    // out as a plain one (a cross-reference table, pages as indirect objects).
    bool Finish(int pdfFd);

private:
    struct Stream {
        std::size_t Page;
        std::uint64_t Offset, Length;
    };
    bool IsBlank(std::uint16_t glyph);
    void WriteFont(pdf_detail::Appender& out, std::uint64_t first) const;
    void PutNumber(long long hundredths);
    void PutGlyphs(const std::uint16_t* glyphs, std::size_t n);

    const TrueTypeFont& font_;
    double fontSize_;
    int scratch_;
    std::function<void(const std::string&)> fail_;
    int level_;
    std::map<std::uint16_t, char32_t> unicode_;
    std::vector<Stream> streams_;
    std::uint64_t scratchSize_ = 0;
    std::string content_, packed_;
    std::size_t page_ = 0, cells_ = 0;
    long long lastX_ = 0, lastY_ = 0;  // of the last cell, in hundredths of a device unit
    // Per glyph, filled as glyphs are used: 0 not yet, 1 drawn, 2 blank; the
    // width in thousandths of the em.
    std::vector<std::uint8_t> kind_;
    std::vector<double> widths_;
};

}  // namespace kolvex
