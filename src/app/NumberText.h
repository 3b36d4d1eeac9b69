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

}  // namespace kolvex
