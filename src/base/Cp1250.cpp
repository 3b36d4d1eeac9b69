// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Cp1250.h"

#include <cstring>

#include <array>
#include <cstdint>

namespace kolvex {

namespace {

// Unicode code points of the bytes 0x80..0xFF. The five bytes that code page
// 1250 leaves undefined (0x81, 0x83, 0x88, 0x90, 0x98) map to the C1 control
// with the same number, as Windows does, so that such bytes survive a round
// trip through UTF-8 unchanged.
constexpr std::array<char16_t, 128> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,  // 98
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,  // A8
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,  // B8
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,  // C0
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,  // C8
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,  // D0
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,  // D8
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,  // E0
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,  // E8
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,  // F0
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,  // F8
};

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Code page 1250 byte of a code point, or '?' when it has none.
char EncodeCodePoint(char32_t cp) {
    if (cp < 0x80) return static_cast<char>(cp);
    for (std::size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == cp) return static_cast<char>(0x80 + i);
    }
    return '?';
}

}  // namespace

std::string Cp1250ToUtf8(std::string_view cp1250) {
    std::string out;
    out.reserve(cp1250.size() * 2);
    for (char c : cp1250) {
        auto b = static_cast<std::uint8_t>(c);
        if (b < 0x80)
            out.push_back(c);
        else
            AppendUtf8(out, kHigh[b - 0x80]);
    }
    return out;
}

std::string Utf8ToCp1250(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    const std::size_t n = utf8.size();
    while (i < n) {
        auto b = static_cast<std::uint8_t>(utf8[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        std::size_t len = 0;
        char32_t cp = 0;
        char32_t minimum = 0;
        if ((b & 0xE0) == 0xC0) {
            len = 2, cp = b & 0x1F, minimum = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3, cp = b & 0x0F, minimum = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4, cp = b & 0x07, minimum = 0x10000;
        } else {
            // A stray continuation byte or an invalid lead byte.
            out.push_back('?');
            ++i;
            continue;
        }
        std::size_t k = 1;
        for (; k < len && i + k < n; ++k) {
            auto cb = static_cast<std::uint8_t>(utf8[i + k]);
            if ((cb & 0xC0) != 0x80) break;
            cp = (cp << 6) | (cb & 0x3F);
        }
        if (k < len) {
            // Truncated sequence: one '?' for the bytes consumed.
            out.push_back('?');
            i += k;
            continue;
        }
        i += len;
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back('?');  // overlong form or not a character
            continue;
        }
        out.push_back(EncodeCodePoint(cp));
    }
    return out;
}

std::string ReadCountedString(const std::uint8_t* p, std::size_t capacity) {
    const std::size_t length = p[0] < capacity ? p[0] : capacity;
    return Cp1250ToUtf8(std::string_view(reinterpret_cast<const char*>(p + 1), length));
}

void WriteCountedString(std::uint8_t* p, std::size_t capacity, std::string_view utf8) {
    std::string bytes = Utf8ToCp1250(utf8);
    if (bytes.size() > capacity) bytes.resize(capacity);
    std::memset(p, 0, capacity + 1);
    p[0] = static_cast<std::uint8_t>(bytes.size());
    std::memcpy(p + 1, bytes.data(), bytes.size());
}

}  // namespace kolvex
