// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Bytes.h"

#include <bit>

namespace kolvex {

std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::int16_t GetI16(const std::uint8_t* p) { return static_cast<std::int16_t>(GetU16(p)); }
std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::int32_t GetI32(const std::uint8_t* p) { return static_cast<std::int32_t>(GetU32(p)); }
float GetF32(const std::uint8_t* p) { return std::bit_cast<float>(GetU32(p)); }

void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void PutI16(std::uint8_t* p, std::int16_t v) { PutU16(p, static_cast<std::uint16_t>(v)); }
void PutU32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
    p[2] = static_cast<std::uint8_t>((v >> 16) & 0xFF);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
void PutI32(std::uint8_t* p, std::int32_t v) { PutU32(p, static_cast<std::uint32_t>(v)); }
void PutF32(std::uint8_t* p, float v) { PutU32(p, std::bit_cast<std::uint32_t>(v)); }

}  // namespace kolvex
