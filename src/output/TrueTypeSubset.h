// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A TrueType font cut down to the glyphs a document uses, for embedding in a
// PDF file: the glyph numbers stay as they are (the outlines of the unused
// ones are left out, components of composite glyphs are kept), so text drawn
// with the font's own glyph numbers needs no renumbering. Also the metrics a
// PDF font dictionary states.

#include <cstdint>
#include <functional>
#include <set>
#include <string>

namespace kolvex {

class TrueTypeFont {
public:
    // table(tag) gives the bytes of the font's table of that four-letter tag,
    // or an empty string when the font has none. Throws std::runtime_error
    // when a table a PDF font needs is missing or damaged.
    explicit TrueTypeFont(const std::function<std::string(const char* tag)>& table);

    std::uint16_t GlyphCount() const { return glyphCount_; }
    int UnitsPerEm() const { return unitsPerEm_; }
    // The advance of a glyph in thousandths of the em, as PDF widths are given.
    double Width(std::uint16_t glyph) const;
    // True when the glyph has no outline (a blank): it only advances.
    bool Blank(std::uint16_t glyph) const;
    // In thousandths of the em.
    double Ascent() const { return Scale(ascent_); }
    double Descent() const { return Scale(descent_); }
    double CapHeight() const { return Scale(capHeight_); }
    void BoundingBox(double box[4]) const;
    // The PostScript name from the name table ("Font" without one).
    const std::string& PostScriptName() const { return psName_; }

    // The font file with only the outlines of these glyphs (and of glyph 0).
    std::string Subset(const std::set<std::uint16_t>& glyphs) const;

private:
    double Scale(int v) const { return v * 1000.0 / unitsPerEm_; }
    std::uint32_t GlyphStart(std::uint16_t glyph) const;
    std::uint32_t GlyphEnd(std::uint16_t glyph) const { return GlyphStart(static_cast<std::uint16_t>(glyph + 1)); }

    std::string head_, hhea_, maxp_, hmtx_, loca_, glyf_, os2_, name_;
    std::uint16_t glyphCount_ = 0, metricCount_ = 0;
    int unitsPerEm_ = 1000, ascent_ = 0, descent_ = 0, capHeight_ = 0;
    bool longLoca_ = false;
    std::string psName_;
};

}  // namespace kolvex
