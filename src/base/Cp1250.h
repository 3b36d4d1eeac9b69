// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Code page 1250 (Central European Windows) <-> UTF-8. Every text that
// crosses to or from the logger or the program's own files goes through here.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kolvex {

std::string Cp1250ToUtf8(std::string_view cp1250);
// Characters without a code page 1250 form become '?'; invalid UTF-8 bytes too.
std::string Utf8ToCp1250(std::string_view utf8);

// Counted strings of the program's own files: one length byte, then
// `capacity` characters in code page 1250, unused bytes zero. A length byte
// above the capacity reads as the capacity; writing cuts to the capacity.
std::string ReadCountedString(const std::uint8_t* p, std::size_t capacity);
void WriteCountedString(std::uint8_t* p, std::size_t capacity, std::string_view utf8);

}  // namespace kolvex
