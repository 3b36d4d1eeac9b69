// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/TrueTypeSubset.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <vector>

namespace kolvex {

namespace {

std::uint16_t U16(const std::string& s, std::size_t at) {
    if (at + 2 > s.size()) throw std::runtime_error("font table too short");
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[at]) << 8 | static_cast<unsigned char>(s[at + 1]));
}
std::int16_t S16(const std::string& s, std::size_t at) { return static_cast<std::int16_t>(U16(s, at)); }
std::uint32_t U32(const std::string& s, std::size_t at) {
    return static_cast<std::uint32_t>(U16(s, at)) << 16 | U16(s, at + 2);
}
void Put16(std::string& s, std::uint16_t v) {
    s += static_cast<char>(v >> 8);
    s += static_cast<char>(v & 0xFF);
}
void Put32(std::string& s, std::uint32_t v) {
    Put16(s, static_cast<std::uint16_t>(v >> 16));
    Put16(s, static_cast<std::uint16_t>(v & 0xFFFF));
}
void Set16(std::string& s, std::size_t at, std::uint16_t v) {
    s[at] = static_cast<char>(v >> 8);
    s[at + 1] = static_cast<char>(v & 0xFF);
}

std::uint32_t Checksum(const std::string& t) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < t.size(); i += 4) {
        std::uint32_t word = 0;
        for (std::size_t j = 0; j < 4; ++j)
            word = word << 8 | (i + j < t.size() ? static_cast<unsigned char>(t[i + j]) : 0u);
        sum += word;
    }
    return sum;
}

// The PostScript name (name id 6): Windows Unicode or Macintosh Roman.
std::string PostScriptNameOf(const std::string& name) {
    if (name.size() < 6) return {};
    const std::uint16_t count = U16(name, 2), strings = U16(name, 4);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::size_t rec = 6 + std::size_t{i} * 12;
        if (rec + 12 > name.size()) break;
        const std::uint16_t platform = U16(name, rec), id = U16(name, rec + 6);
        const std::size_t length = U16(name, rec + 8), at = std::size_t{strings} + U16(name, rec + 10);
        if (id != 6 || at + length > name.size()) continue;
        std::string out;
        const bool wide = platform == 3 || platform == 0;
        for (std::size_t k = wide ? 1 : 0; k < length; k += wide ? 2 : 1) {
            const char c = name[at + k];
            // Only what a PDF name takes without escapes.
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
                out += c;
        }
        if (!out.empty()) return out;
    }
    return {};
}

}  // namespace

TrueTypeFont::TrueTypeFont(const std::function<std::string(const char* tag)>& table)
    : head_(table("head")), hhea_(table("hhea")), maxp_(table("maxp")), hmtx_(table("hmtx")), loca_(table("loca")),
      glyf_(table("glyf")), os2_(table("OS/2")), name_(table("name")) {
    if (head_.size() < 54 || hhea_.size() < 36 || maxp_.size() < 6 || glyf_.empty())
        throw std::runtime_error("font without TrueType outlines");
    unitsPerEm_ = U16(head_, 18);
    if (unitsPerEm_ < 16) throw std::runtime_error("font with a bad em size");
    longLoca_ = S16(head_, 50) != 0;
    glyphCount_ = U16(maxp_, 4);
    metricCount_ = U16(hhea_, 34);
    ascent_ = S16(hhea_, 4);
    descent_ = S16(hhea_, 6);
    capHeight_ = os2_.size() >= 90 && U16(os2_, 0) >= 2 ? S16(os2_, 88) : ascent_;
    if (metricCount_ == 0 || hmtx_.size() < std::size_t{metricCount_} * 4 ||
        loca_.size() < (std::size_t{glyphCount_} + 1) * (longLoca_ ? 4 : 2))
        throw std::runtime_error("font with damaged glyph tables");
    psName_ = PostScriptNameOf(name_);
    if (psName_.empty()) psName_ = "Font";
}

std::uint32_t TrueTypeFont::GlyphStart(std::uint16_t glyph) const {
    const std::uint32_t at = longLoca_ ? U32(loca_, std::size_t{glyph} * 4) : 2u * U16(loca_, std::size_t{glyph} * 2);
    return std::min<std::uint32_t>(at, static_cast<std::uint32_t>(glyf_.size()));
}

double TrueTypeFont::Width(std::uint16_t glyph) const {
    const std::uint16_t m = glyph < metricCount_ ? glyph : static_cast<std::uint16_t>(metricCount_ - 1);
    return Scale(U16(hmtx_, std::size_t{m} * 4));
}

bool TrueTypeFont::Blank(std::uint16_t glyph) const {
    return glyph >= glyphCount_ || GlyphEnd(glyph) <= GlyphStart(glyph);
}

void TrueTypeFont::BoundingBox(double box[4]) const {
    for (int i = 0; i < 4; ++i) box[i] = Scale(S16(head_, 36 + 2 * static_cast<std::size_t>(i)));
}

std::string TrueTypeFont::Subset(const std::set<std::uint16_t>& glyphs) const {
    // The glyphs kept: those asked for, glyph 0, and every component of a
    // composite one (which may itself be composite).
    std::vector<bool> keep(glyphCount_, false);
    std::vector<std::uint16_t> todo(glyphs.begin(), glyphs.end());
    todo.push_back(0);
    while (!todo.empty()) {
        const std::uint16_t g = todo.back();
        todo.pop_back();
        if (g >= glyphCount_ || keep[g]) continue;
        keep[g] = true;
        const std::uint32_t start = GlyphStart(g), end = GlyphEnd(g);
        if (end < start + 10 || S16(glyf_, start) >= 0) continue;
        std::size_t at = start + 10;
        for (;;) {
            if (at + 4 > end) break;
            const std::uint16_t flags = U16(glyf_, at), component = U16(glyf_, at + 2);
            todo.push_back(component);
            at += 4 + ((flags & 0x0001) ? 4 : 2);
            at += (flags & 0x0008) ? 2 : (flags & 0x0040) ? 4 : (flags & 0x0080) ? 8 : 0;
            if (!(flags & 0x0020)) break;
        }
    }
    std::string glyf, loca;
    for (std::uint16_t g = 0; g < glyphCount_; ++g) {
        Put32(loca, static_cast<std::uint32_t>(glyf.size()));
        if (!keep[g]) continue;
        glyf.append(glyf_, GlyphStart(g), GlyphEnd(g) - GlyphStart(g));
        while (glyf.size() % 4) glyf += '\0';
    }
    Put32(loca, static_cast<std::uint32_t>(glyf.size()));
    std::string head = head_;
    Set16(head, 8, 0);  // the whole-file checksum adjustment, not kept
    Set16(head, 10, 0);
    Set16(head, 50, 1);  // long glyph offsets

    std::map<std::string, const std::string*> tables{{"glyf", &glyf}, {"head", &head}, {"hhea", &hhea_},
                                                      {"hmtx", &hmtx_}, {"loca", &loca},  {"maxp", &maxp_}};
    if (!os2_.empty()) tables["OS/2"] = &os2_;
    if (!name_.empty()) tables["name"] = &name_;
    // No glyph names ("post"): text is read through the PDF's own map.
    const std::uint16_t n = static_cast<std::uint16_t>(tables.size());
    std::uint16_t power = 1, log = 0;
    while (power * 2 <= n) {
        power = static_cast<std::uint16_t>(power * 2);
        ++log;
    }
    std::string out;
    Put32(out, 0x00010000);
    Put16(out, n);
    Put16(out, static_cast<std::uint16_t>(power * 16));
    Put16(out, log);
    Put16(out, static_cast<std::uint16_t>(n * 16 - power * 16));
    std::uint32_t offset = 12 + 16u * n;
    for (const auto& [tag, data] : tables) {  // the map keeps the tags sorted
        out.append(tag, 0, 4);
        Put32(out, Checksum(*data));
        Put32(out, offset);
        Put32(out, static_cast<std::uint32_t>(data->size()));
        offset += static_cast<std::uint32_t>((data->size() + 3) & ~std::size_t{3});
    }
    for (const auto& [tag, data] : tables) {
        out += *data;
        while (out.size() % 4) out += '\0';
    }
    return out;
}

}  // namespace kolvex
