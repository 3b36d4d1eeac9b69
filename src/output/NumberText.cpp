// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/NumberText.h"

#include <fmt/format.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace kolvex {

namespace {

constexpr std::uint64_t kPowersOf10[20] = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000, 10000000000, 100000000000,
    1000000000000, 10000000000000, 100000000000000, 1000000000000000, 10000000000000000, 100000000000000000,
    1000000000000000000, 10000000000000000000u};

// The number of decimal digits of v (1 for 0): the bit length times
// log10(2) (1233 / 4096) gives it or one less.
int Digits(std::uint64_t v) {
    v |= 1;
    const int t = (64 - std::countl_zero(v)) * 1233 >> 12;
    return t + (v >= kPowersOf10[t] ? 1 : 0);
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

// A short decimal found without the general search. Below 2^31 a double's
// neighbours lie at most 2^-22 apart, so the decimals that read back as it
// span less than 10^-6 and at most one of them has up to six places: if
// m / 10^6, rounded as strtod rounds it (a division of two exactly held
// numbers is rounded correctly), gives the value back, it is the value's
// shortest decimal (any other decimal that reads back as the value has more
// places, hence more digits). Gives m, or 0 when the value has no such
// decimal (or is not in [2^-20, 2^31)).
inline constexpr double kMicro = 1e6;
std::uint64_t ShortMicros(double value) {
    if (!(value >= 0x1p-20 && value < 2147483648.0)) return 0;
    const auto m = static_cast<std::uint64_t>(value * kMicro + 0.5);
    return static_cast<double>(m) / kMicro == value ? m : 0;
}

// m / 10^6 in fixed notation, without trailing zeros after the point.
char* WriteMicros(char* out, std::uint64_t m) {
    const std::uint64_t whole = m / 1000000;
    std::uint32_t part = static_cast<std::uint32_t>(m % 1000000);
    if (whole != 0 || part == 0) {
        const int n = Digits(whole);
        WriteDigits(out, whole, n);
        out += n;
    } else {
        *out++ = '0';
    }
    if (part == 0) return out;
    *out++ = '.';
    int n = 6;
    while (part % 10 == 0) {
        part /= 10;
        --n;
    }
    std::memset(out, '0', 6);  // the leading zeros of the places
    WriteDigits(out, part, n);
    return out + n;
}

// A positive value's digits × 10^e as std::to_chars writes it: trailing
// zeros dropped, the fewer characters of the fixed and the scientific form,
// fixed on a tie.
char* WriteShortest(char* out, std::uint64_t d, int e) {
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
    if (const std::uint64_t m = ShortMicros(value)) {
        // The fixed form is the shorter one for a value with places from 1
        // up, an integer below 100000 and a value from 0.001 up.
        if (m >= 1000 && (m < 100000000000 || m % 1000000 != 0)) return WriteMicros(out, m);
        return WriteShortest(out, m, -6);
    }
    const auto dec = fmt::detail::dragonbox::to_decimal(value);
    return WriteShortest(out, dec.significand, dec.exponent);
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
    if (!isSingle)
        if (const std::uint64_t m = ShortMicros(std::fabs(value))) return WriteMicros(out, m);
    if (isSingle) {
        const auto dec = fmt::detail::dragonbox::to_decimal(std::fabs(single));
        return WriteFixedDecimal(out, dec.significand, dec.exponent);
    }
    const auto dec = fmt::detail::dragonbox::to_decimal(std::fabs(value));
    return WriteFixedDecimal(out, dec.significand, dec.exponent);
}

}  // namespace kolvex
