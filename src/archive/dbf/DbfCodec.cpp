// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/dbf/DbfCodec.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/DateTime.h"

namespace kolvex::dbf {

namespace {

// Date-time values outside roughly the years 100 to 9999 are clamped before
// the millisecond arithmetic, so that hostile values never overflow it.
constexpr double kMinDays = -693594.0;
constexpr double kMaxDays = 2958465.0;

std::uint64_t GetBE64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
    return v;
}

void PutBE64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 7; i >= 0; --i) {
        p[i] = static_cast<std::uint8_t>(v & 0xFF);
        v >>= 8;
    }
}

std::uint32_t GetLE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void PutLE32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

bool AllZero(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (p[i] != 0) return false;
    return true;
}

}  // namespace

void SplitDateTime(double value, std::int64_t& day, std::int64_t& ms) {
    if (!std::isfinite(value)) value = 0;
    if (value < kMinDays) value = kMinDays;
    if (value > kMaxDays) value = kMaxDays;
    const auto total = static_cast<std::int64_t>(std::nearbyint(value * static_cast<double>(kMsPerDay)));
    day = total / kMsPerDay;
    ms = total % kMsPerDay;
    if (ms < 0) ms = -ms;
}

double JoinDateTime(std::int64_t day, std::int64_t ms) {
    if (ms < 0) ms = 0;
    day += ms / kMsPerDay;
    ms %= kMsPerDay;
    const double frac = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
    return day < 0 ? static_cast<double>(day) - frac : static_cast<double>(day) + frac;
}

void EncodeFoxDateTime(double value, std::uint8_t* out) {
    std::int64_t day = 0, ms = 0;
    SplitDateTime(value, day, ms);
    PutLE32(out, static_cast<std::uint32_t>(day + kJulianOf18991230));
    PutLE32(out + 4, static_cast<std::uint32_t>(ms));
}

bool DecodeFoxDateTime(const std::uint8_t* in, double& value) {
    const std::uint32_t jd = GetLE32(in);
    // A day number of zero (or blanks) is an empty field.
    if (jd == 0 || jd == 0x20202020u) return false;
    std::int64_t ms = GetLE32(in + 4);
    if (ms > 2 * kMsPerDay) ms = 0;
    const double v = JoinDateTime(static_cast<std::int64_t>(jd) - kJulianOf18991230, ms);
    // A day outside the years 1 to 9999 is damage, read as empty.
    if (!IsDateTimeInRange(v)) return false;
    value = v;
    return true;
}

void EncodeDb7Timestamp(double value, std::uint8_t* out) {
    std::int64_t day = 0, ms = 0;
    SplitDateTime(value, day, ms);
    const double total = static_cast<double>(day + kOrdinalOf18991230) * static_cast<double>(kMsPerDay) +
                         static_cast<double>(ms);
    PutBE64(out, std::bit_cast<std::uint64_t>(total));
}

bool DecodeDb7Timestamp(const std::uint8_t* in, double& value) {
    if (AllZero(in, 8)) return false;
    const double total = std::bit_cast<double>(GetBE64(in));
    // Day 1 is 0001-01-01; a stamp outside the years 1 to 9999 is damage,
    // read as empty (checked before the conversion to integers).
    if (!std::isfinite(total) || total < static_cast<double>(kMsPerDay) || total >= kDb7TimestampEnd) return false;
    const double dayOrd = std::floor(total / static_cast<double>(kMsPerDay));
    const auto ms = static_cast<std::int64_t>(std::nearbyint(total - dayOrd * static_cast<double>(kMsPerDay)));
    const double v = JoinDateTime(static_cast<std::int64_t>(dayOrd) - kOrdinalOf18991230, ms);
    if (!IsDateTimeInRange(v)) return false;
    value = v;
    return true;
}

void EncodeDb7Double(double value, std::uint8_t* out) {
    std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
    if ((bits >> 63) == 0)
        bits |= std::uint64_t{1} << 63;
    else
        bits = ~bits;
    PutBE64(out, bits);
}

bool DecodeDb7Double(const std::uint8_t* in, double& value) {
    std::uint64_t bits = GetBE64(in);
    if (bits == 0) return false;
    if (bits >> 63)
        bits &= ~(std::uint64_t{1} << 63);
    else
        bits = ~bits;
    value = std::bit_cast<double>(bits);
    return true;
}

void EncodeFoxDouble(double value, std::uint8_t* out) {
    std::memcpy(out, &value, 8);  // the machine is little-endian (x86-64, arm64)
}

void EncodeFoxDoubleNull(std::uint8_t* out) { std::memset(out, 0xFF, 8); }

bool DecodeFoxDouble(const std::uint8_t* in, double& value) {
    std::memcpy(&value, in, 8);
    return !std::isnan(value);
}

void EncodeDb7Long(std::int32_t value, std::uint8_t* out) {
    const std::uint32_t v = static_cast<std::uint32_t>(value) ^ 0x80000000u;
    out[0] = static_cast<std::uint8_t>(v >> 24);
    out[1] = static_cast<std::uint8_t>(v >> 16);
    out[2] = static_cast<std::uint8_t>(v >> 8);
    out[3] = static_cast<std::uint8_t>(v);
}

std::int32_t DecodeDb7Long(const std::uint8_t* in) {
    const std::uint32_t v = (static_cast<std::uint32_t>(in[0]) << 24 | static_cast<std::uint32_t>(in[1]) << 16 |
                             static_cast<std::uint32_t>(in[2]) << 8 | in[3]) ^
                            0x80000000u;
    return static_cast<std::int32_t>(v);
}

bool EncodeCurrency(double value, std::uint8_t* out) {
    const double scaled = std::nearbyint(value * 10000.0);
    if (!std::isfinite(scaled) || std::fabs(scaled) > 9.2e18) return false;
    const auto v = static_cast<std::int64_t>(scaled);
    std::uint64_t u = static_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i) {
        out[i] = static_cast<std::uint8_t>(u & 0xFF);
        u >>= 8;
    }
    return true;
}

double DecodeCurrency(const std::uint8_t* in) {
    std::uint64_t u = 0;
    for (int i = 7; i >= 0; --i) u = (u << 8) | in[i];
    return static_cast<double>(static_cast<std::int64_t>(u)) / 10000.0;
}

bool EncodeNumeric(double value, int width, int decimals, std::uint8_t* out) {
    if (!std::isfinite(value) || width <= 0) return false;
    char buf[400];
    for (int d = decimals < 0 ? 0 : decimals; d >= 0; --d) {
        const int n = std::snprintf(buf, sizeof buf, "%.*f", d, value);
        if (n > 0 && n <= width) {
            std::memset(out, ' ', static_cast<std::size_t>(width - n));
            std::memcpy(out + (width - n), buf, static_cast<std::size_t>(n));
            return true;
        }
        // Fewer decimals are tried only to make a too-wide number fit.
        if (n > 0 && n - (d > 0 ? d + 1 : 0) > width) break;
    }
    return false;
}

bool DecodeNumeric(const std::uint8_t* in, std::size_t width, double& value) {
    std::size_t b = 0, e = width;
    while (b < e && (in[b] == ' ' || in[b] == 0)) ++b;
    while (e > b && (in[e - 1] == ' ' || in[e - 1] == 0)) --e;
    if (b == e) return false;
    char buf[64];
    std::size_t n = 0;
    for (std::size_t i = b; i < e && n < sizeof buf; ++i) {
        char c = static_cast<char>(in[i]);
        if (c == ',') c = '.';
        if (c == '+' && n == 0) continue;
        buf[n++] = c;
    }
    double v = 0;
    const auto r = std::from_chars(buf, buf + n, v);
    if (r.ec != std::errc() || r.ptr != buf + n) return false;
    value = v;
    return true;
}

void EncodeDate(double value, std::uint8_t* out) {
    const DateTimeParts p = DecodeDateTime(value);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", p.Year % 10000, p.Month, p.Day);
    std::memcpy(out, buf, 8);
}

bool DecodeDate(const std::uint8_t* in, double& value) {
    int parts[3] = {0, 0, 0};
    const int widths[3] = {4, 2, 2};
    std::size_t k = 0;
    for (int f = 0; f < 3; ++f) {
        for (int i = 0; i < widths[f]; ++i, ++k) {
            if (in[k] < '0' || in[k] > '9') return false;
            parts[f] = parts[f] * 10 + (in[k] - '0');
        }
    }
    const auto v = TryEncodeDateTime(parts[0], parts[1], parts[2], 0, 0, 0, 0);
    if (!v) return false;
    value = *v;
    return true;
}

bool DecodeLogical(std::uint8_t b, bool& value) {
    switch (b) {
        case 'T': case 't': case 'Y': case 'y': value = true; return true;
        case 'F': case 'f': case 'N': case 'n': value = false; return true;
        default: return false;
    }
}

bool ParseDateTimeText(std::string_view t, double& value) {
    // Numbers and the separators between them.
    int nums[7] = {0, 0, 0, 0, 0, 0, 0};
    int digits[7] = {0, 0, 0, 0, 0, 0, 0};
    char seps[7] = {0, 0, 0, 0, 0, 0, 0};
    int k = 0;
    std::size_t i = 0;
    while (i < t.size() && t[i] == ' ') ++i;
    while (i < t.size() && k < 7) {
        if (t[i] < '0' || t[i] > '9') return false;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            if (digits[k] >= 4) return false;
            nums[k] = nums[k] * 10 + (t[i] - '0');
            ++digits[k];
            ++i;
        }
        ++k;
        if (i < t.size()) {
            seps[k - 1] = t[i];
            ++i;
            while (i < t.size() && t[i] == ' ' && seps[k - 1] == ' ') ++i;
        }
    }
    if (i != t.size() || k < 3) return false;
    int y, m, d;
    if (seps[0] == '-') {
        y = nums[0], m = nums[1], d = nums[2];
    } else if (seps[0] == '/' || seps[0] == '.') {
        d = nums[0], m = nums[1], y = nums[2];
    } else {
        return false;
    }
    int ms = 0;
    if (k == 7) {
        ms = nums[6];
        if (digits[6] == 1) ms *= 100;
        else if (digits[6] == 2) ms *= 10;
    }
    if (k != 3 && k != 5 && k != 6 && k != 7) return false;
    const auto v = TryEncodeDateTime(y, m, d, k > 3 ? nums[3] : 0, k > 3 ? nums[4] : 0, k > 5 ? nums[5] : 0, ms);
    if (!v) return false;
    value = *v;
    return true;
}

}  // namespace kolvex::dbf
