// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the TrueType reading of the PDF listing's font: any bytes as a font
// file (its table directory read here, each table bounded by the input) are
// taken as the listing font, every glyph's width and outline looked at, and
// the font cut down to some of its glyphs; the cut font must read back with
// the same glyph count and widths.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <stdexcept>
#include <string>

#include "output/TrueTypeSubset.h"

namespace {

std::map<std::string, std::string> Tables(const std::string& file) {
    std::map<std::string, std::string> t;
    auto u16 = [&](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(file[at])) << 8 | static_cast<unsigned char>(file[at + 1]);
    };
    if (file.size() < 12) return t;
    for (unsigned i = 0; i < u16(4); ++i) {
        const std::size_t rec = 12 + std::size_t{i} * 16;
        if (rec + 16 > file.size()) break;
        const std::size_t offset = std::size_t{u16(rec + 8)} << 16 | u16(rec + 10);
        const std::size_t length = std::size_t{u16(rec + 12)} << 16 | u16(rec + 14);
        if (offset <= file.size()) t[file.substr(rec, 4)] = file.substr(offset, length);
    }
    return t;
}

kolvex::TrueTypeFont FontOf(const std::map<std::string, std::string>& tables) {
    return kolvex::TrueTypeFont([&tables](const char* tag) {
        const auto it = tables.find(tag);
        return it == tables.end() ? std::string() : it->second;
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto tables = Tables(std::string(reinterpret_cast<const char*>(data), size));
    try {
        const kolvex::TrueTypeFont font = FontOf(tables);
        std::set<std::uint16_t> some;
        for (unsigned g = 0; g < font.GlyphCount() && g < 4096; ++g) {
            (void)font.Width(static_cast<std::uint16_t>(g));
            if (!font.Blank(static_cast<std::uint16_t>(g)) && g % 3 == 0) some.insert(static_cast<std::uint16_t>(g));
        }
        double box[4];
        font.BoundingBox(box);
        const kolvex::TrueTypeFont cut = FontOf(Tables(font.Subset(some)));
        if (cut.GlyphCount() != font.GlyphCount()) std::abort();
        for (const std::uint16_t g : some)
            if (cut.Width(g) != font.Width(g) || cut.Blank(g)) std::abort();
    } catch (const std::runtime_error&) {
        // A font that cannot be used is refused; the listing is then set by the printer's writer.
    }
    return 0;
}
