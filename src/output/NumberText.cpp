// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/NumberText.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace kolvex {

namespace {

int Digits(std::uint64_t v) {
    int n = 1;
    for (std::uint64_t p = 10; n < 20 && v >= p; p *= 10) ++n;
    return n;
}

constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The n digits of v, two at a time from the right.
void WriteDigits(char* out, std::uint64_t v, int n) {
    char* p = out + n;
    while (v >= 100) {
        const auto k = static_cast<std::size_t>(v % 100) * 2;
        v /= 100;
        *--p = kPairs[k + 1];
        *--p = kPairs[k];
    }
    if (v >= 10) {
        const auto k = static_cast<std::size_t>(v) * 2;
        *--p = kPairs[k + 1];
        *--p = kPairs[k];
    } else {
        *--p = static_cast<char>('0' + v);
    }
}

// digits × 10^e in fixed notation.
char* WriteFixed(char* out, const char* digits, int n, int e) {
    if (e >= 0) {
        std::memcpy(out, digits, static_cast<std::size_t>(n));
        out += n;
        std::memset(out, '0', static_cast<std::size_t>(e));
        return out + e;
    }
    if (n + e > 0) {
        std::memcpy(out, digits, static_cast<std::size_t>(n + e));
        out += n + e;
        *out++ = '.';
        std::memcpy(out, digits + n + e, static_cast<std::size_t>(-e));
        return out - e;
    }
    *out++ = '0';
    *out++ = '.';
    std::memset(out, '0', static_cast<std::size_t>(-(n + e)));
    out += -(n + e);
    std::memcpy(out, digits, static_cast<std::size_t>(n));
    return out + n;
}

// The shortest digits of a decimal significand and exponent, trailing
// zeros dropped, written in fixed notation.
template <typename Significand>
char* WriteFixedDecimal(char* out, Significand significand, int exponent) {
    std::uint64_t d = significand;
    int e = exponent;
    while (d % 10 == 0) {
        d /= 10;
        ++e;
    }
    char digits[24];
    const int n = Digits(d);
    WriteDigits(digits, d, n);
    return WriteFixed(out, digits, n, e);
}

}  // namespace

char* WriteShortestNumber(char* out, double value) {
    // Beyond 2^53 the fixed form of an integer shows its exact digits, not the
    // shortest ones followed by zeros: the standard library writes those.
    if (!std::isfinite(value) || value == 0 || std::fabs(value) >= 9007199254740992.0)
        return std::to_chars(out, out + kNumberTextMax, value).ptr;
    if (std::signbit(value)) {
        *out++ = '-';
        value = -value;
    }
    const auto dec = fmt::detail::dragonbox::to_decimal(value);
    std::uint64_t d = dec.significand;
    int e = dec.exponent;
    while (d % 10 == 0) {  // the digits without trailing zeros
        d /= 10;
        ++e;
    }
    char digits[24];
    const int n = Digits(d);
    WriteDigits(digits, d, n);
    // value = digits × 10^e; the decimal exponent of the first digit is x.
    const int x = e + n - 1;
    const int ax = x < 0 ? -x : x;
    const int sciLength = n + (n > 1 ? 1 : 0) + 2 + (ax >= 100 ? 3 : 2);
    const int fixedLength = e >= 0 ? n + e : (n + e > 0 ? n + 1 : 2 - e);
    if (fixedLength <= sciLength) return WriteFixed(out, digits, n, e);
    *out++ = digits[0];
    if (n > 1) {
        *out++ = '.';
        std::memcpy(out, digits + 1, static_cast<std::size_t>(n - 1));
        out += n - 1;
    }
    *out++ = 'e';
    *out++ = x < 0 ? '-' : '+';
    if (ax >= 100) *out++ = static_cast<char>('0' + ax / 100);
    *out++ = static_cast<char>('0' + ax / 10 % 10);
    *out++ = static_cast<char>('0' + ax % 10);
    return out;
}

char* WriteShortestDecimal(char* out, double value) {
    if (!std::isfinite(value)) return out;
    if (value == 0) {
        *out++ = '0';
        return out;
    }
    const float single = static_cast<float>(value);
    const bool isSingle = static_cast<double>(single) == value;
    // Integers beyond the exactly counted range show their exact digits in
    // fixed notation: the standard library writes those.
    if (std::fabs(value) >= (isSingle ? 16777216.0 : 9007199254740992.0))
        return isSingle ? std::to_chars(out, out + kDecimalTextMax, single, std::chars_format::fixed).ptr
                        : std::to_chars(out, out + kDecimalTextMax, value, std::chars_format::fixed).ptr;
    if (value < 0) *out++ = '-';
    if (isSingle) {
        const auto dec = fmt::detail::dragonbox::to_decimal(std::fabs(single));
        return WriteFixedDecimal(out, dec.significand, dec.exponent);
    }
    const auto dec = fmt::detail::dragonbox::to_decimal(std::fabs(value));
    return WriteFixedDecimal(out, dec.significand, dec.exponent);
}

}  // namespace kolvex
