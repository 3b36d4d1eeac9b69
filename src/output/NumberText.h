// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The shortest text that reads back as the same double, exactly as
// std::to_chars(first, last, value) writes it (the fewer characters of the
// fixed and the scientific form, fixed on a tie), found with a faster
// shortest-digits search.

namespace kolvex {

// Room for any double.
inline constexpr int kNumberTextMax = 32;
// Writes at out (kNumberTextMax bytes of room) and returns the end.
char* WriteShortestNumber(char* out, double value);

// Room for any fixed-point text of WriteShortestDecimal (5e-324 has 327
// characters).
inline constexpr int kDecimalTextMax = 400;
// The shortest decimal in fixed notation with '.', exactly as
// ShortestDecimal of output/WorkbookExport.h writes it: a value that is
// exactly a single-precision number as that number's shortest decimal, "0"
// for both zeros, nothing for NaN and infinities. Returns the end.
char* WriteShortestDecimal(char* out, double value);

}  // namespace kolvex
