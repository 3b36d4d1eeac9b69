// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small byte helpers of the simulator: little-endian numbers, the additive
// frame check sum, the address-length table of the command codes and the
// conversion between IEEE single precision and the logger's float layout.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kolvex::sim {

using Bytes = std::vector<std::uint8_t>;

inline void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void PutF32(std::uint8_t* p, float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    PutU32(p, u);
}
inline float GetF32(const std::uint8_t* p) {
    std::uint32_t u = GetU32(p);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

// Sum of `count` bytes modulo 256.
inline std::uint8_t Checksum(const std::uint8_t* p, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += p[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

// Number of address bytes that follow the command code; -1 for codes the
// logger does not know.
inline int AddressLength(std::uint8_t command) {
    switch (command) {
        case 0x01: case 0x08: case 0x80: case 0x81: case 0x88:
            return 0;
        case 0x00: case 0x09: case 0x89: case 0x10:
        case 0x18: case 0x19: case 0x1A: case 0x1B:
        case 0x98: case 0x99: case 0x9A: case 0x9B:
        case 0x21: case 0x22: case 0xA1: case 0xA2:
        case 0x28: case 0x29: case 0xA8: case 0xA9:
            return 1;
        case 0x20:
            return 2;
        case 0x23:
            return 4;
        default:
            return -1;
    }
}

// IEEE (b3 = sign + 7 exponent bits, b2 bit 7 = lowest exponent bit) to the
// logger layout (b3 = whole exponent, b2 bit 7 = sign), `count` floats in place.
inline void IeeeToLogger(std::uint8_t* p, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, p += 4) {
        std::uint8_t b2 = p[2], b3 = p[3];
        p[3] = static_cast<std::uint8_t>(((b3 << 1) & 0xFF) | ((b2 & 0x80) ? 1 : 0));
        p[2] = static_cast<std::uint8_t>((b2 & 0x7F) | (b3 & 0x80));
    }
}
inline void LoggerToIeee(std::uint8_t* p, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, p += 4) {
        std::uint8_t b2 = p[2], b3 = p[3];
        p[3] = static_cast<std::uint8_t>((b3 >> 1) | (b2 & 0x80));
        p[2] = static_cast<std::uint8_t>((b2 & 0x7F) | ((b3 & 1) ? 0x80 : 0));
    }
}

// Writes text into a fixed NUL-padded field (cut to the field length).
inline void PutText(std::uint8_t* p, std::size_t length, const std::string& text) {
    std::memset(p, 0, length);
    std::memcpy(p, text.data(), text.size() < length ? text.size() : length);
}

inline std::uint8_t ToBcd(int v) { return static_cast<std::uint8_t>((v % 10) + 16 * (v / 10)); }
inline int FromBcd(std::uint8_t b) { return (b & 0x0F) + 10 * (b >> 4); }

}  // namespace kolvex::sim
