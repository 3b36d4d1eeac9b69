// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Little-endian field access of byte records: the logger's blocks and the
// configuration record are read and written byte by byte, never by casting
// packed structures.

#include <cstdint>

namespace kolvex {

std::uint16_t GetU16(const std::uint8_t* p);
std::int16_t GetI16(const std::uint8_t* p);
std::uint32_t GetU32(const std::uint8_t* p);
std::int32_t GetI32(const std::uint8_t* p);
float GetF32(const std::uint8_t* p);  // IEEE single, bit pattern kept
void PutU16(std::uint8_t* p, std::uint16_t v);
void PutI16(std::uint8_t* p, std::int16_t v);
void PutU32(std::uint8_t* p, std::uint32_t v);
void PutI32(std::uint8_t* p, std::int32_t v);
void PutF32(std::uint8_t* p, float v);

}  // namespace kolvex
