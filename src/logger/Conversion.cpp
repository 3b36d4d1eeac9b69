// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger/Conversion.h"

#include <cstdio>

#include <charconv>
#include <cmath>
#include <algorithm>
#include <cstring>
#include <limits>
#include <system_error>

#include "base/Errors.h"

namespace kolvex {

namespace {

constexpr double kA = 3.9083e-3;
constexpr double kB = -5.775e-7;
constexpr double kC = -4.183e-12;
constexpr double kKelvinOffset = 273.16;
// Temperature of a 100-ohm sensor at 760 ohms; the characteristic is capped there.
constexpr double kTemperatureCap = 3236.8554;

[[noreturn]] void ThrowInvalid() {
    throw EMath(Tr("Neplatná operace s čísly", "Invalid floating point operation"));
}
[[noreturn]] void ThrowDivZero() { throw EMath(Tr("Dělení nulou", "Division by zero")); }

double Divide(double num, double den) {
    if (den == 0.0) ThrowDivZero();
    return num / den;
}

// Narrows a result to single precision; NaN or a value outside the single
// range is an arithmetic failure.
float ToSingle(double v) {
    if (!std::isfinite(v)) ThrowInvalid();
    const float f = static_cast<float>(v);
    if (!std::isfinite(f)) ThrowInvalid();
    return f;
}

double Sqrt(double v) {
    if (!(v >= 0.0)) ThrowInvalid();
    return std::sqrt(v);
}

double Ln(double v) {
    if (v == 0.0) ThrowDivZero();
    if (!(v > 0.0)) ThrowInvalid();
    return std::log(v);
}

bool ValidInput(int input) { return input == 0 || input == 1; }

double Multiplier(int index) {
    static constexpr double kFactors[4] = {1.0, 2.0, 5.0, 10.0};
    return kFactors[index & 3];
}

double ConvertRawValueOrThrow(const LoggerImage& image, int input, double raw) {
    const InputParameters& p = image.Parameters.Input[input];
    const int kind = image.InputInfo.InputType[input] & 0x3D;
    switch (kind) {
        case 21:  // platinum resistance
        case 53:  // nickel resistance
        case 45:  // Pt10000 through a table
        case 61:  // humidity through a table
            return Divide(raw, p.RecordScale) - p.RecordOffset;
        case 1:
        case 5:
        case 9: {  // current and voltage
            const double slope = Divide(static_cast<double>(p.RangeHigh) - p.RangeLow,
                                        static_cast<double>(p.SignalHigh) - p.SignalLow);
            const double signalLow = -static_cast<double>(p.RecordOffset);
            const double signalHigh = Divide(kRecordFullScale, p.RecordScale) - p.RecordOffset;
            const double engLow = p.RangeLow + (signalLow - p.SignalLow) * slope;
            const double engHigh = p.RangeLow + (signalHigh - p.SignalLow) * slope;
            return engLow + (engHigh - engLow) * raw / kRecordFullScale;
        }
        default:
            return -1.0;
    }
}

// Engineering values of a current or voltage input at the converter's ends.
std::pair<double, double> ConverterEnds(const LoggerImage& image, int input) {
    const InputParameters& p = image.Parameters.Input[input];
    const double slope = Divide(static_cast<double>(p.RangeHigh) - p.RangeLow,
                                static_cast<double>(p.SignalHigh) - p.SignalLow);
    const auto [sigLo, sigHi] = SignalConverterRange(image, input);
    const double convLow = p.RangeLow - (p.SignalLow - static_cast<double>(sigLo)) * slope;
    const double convHigh = p.RangeLow + (static_cast<double>(sigHi) - p.SignalLow) * slope;
    return {convLow, convHigh};
}

// Binary search over the sixteen keys followed by linear interpolation or
// extrapolation on the segment found.
float Lookup(const float* keys, const float* values, double v) {
    int i = 7;
    for (int step = 4; step >= 1; step /= 2) {
        if (v >= keys[i])
            i += step;
        else
            i -= step;
    }
    const double den = static_cast<double>(keys[i + 1]) - keys[i];
    const float fraction = ToSingle(Divide(v - keys[i], den));
    return ToSingle(values[i] + (static_cast<double>(values[i + 1]) - values[i]) * fraction);
}

}  // namespace

double RoundHalfEven(double x) {
    if (!std::isfinite(x)) return x;
    const double f = std::floor(x);
    const double d = x - f;
    if (d > 0.5) return f + 1.0;
    if (d < 0.5) return f;
    return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

std::string InputTypeName(std::uint8_t code, Lang lang) {
    const char* cs = nullptr;
    const char* en = nullptr;
    switch (code) {
        case 0x00: cs = "Nepoužito", en = "Unused"; break;
        case 0x01: cs = "Proud 0-20 mA", en = "Current 4-20 mA"; break;
        case 0x09: cs = "Napětí", en = "Voltage"; break;
        case 0x15: cs = "Teplota externí Pt100", en = "Temperature external Pt100"; break;
        case 0x17: cs = "Teplota interní Pt100", en = "Temperature internal Pt100"; break;
        case 0x55: cs = "Teplota externí Pt200", en = "Temperature external Pt200"; break;
        case 0x57: cs = "Teplota interní Pt200", en = "Temperature internal Pt200"; break;
        case 0x95: cs = "Teplota externí Pt500", en = "Temperature external Pt500"; break;
        case 0x97: cs = "Teplota interní Pt500", en = "Temperature internal Pt500"; break;
        case 0xD5: cs = "Teplota externí Pt1000", en = "Temperature external Pt1000"; break;
        case 0xD7: cs = "Teplota interní Pt1000", en = "Temperature internal Pt1000"; break;
        case 0x35: cs = "Teplota externí Ni100", en = "Temperature external Ni100"; break;
        case 0x37: cs = "Teplota interní Ni100", en = "Temperature internal Ni100"; break;
        case 0x75: cs = "Teplota externí Ni200", en = "Temperature external Ni200"; break;
        case 0x77: cs = "Teplota interní Ni200", en = "Temperature internal Ni200"; break;
        case 0xB5: cs = "Teplota externí Ni500", en = "Temperature external Ni500"; break;
        case 0xB7: cs = "Teplota interní Ni500", en = "Temperature internal Ni500"; break;
        case 0xF5: cs = "Teplota externí Ni1000", en = "Temperature external Ni1000"; break;
        case 0xF7: cs = "Teplota interní Ni1000", en = "Temperature internal Ni1000"; break;
        case 0x2F: cs = "Teplota Pt10000", en = "Temperature Pt10000"; break;
        case 0x3F: cs = "Vlhkost", en = "Humidity"; break;
        default: cs = "Nezmámý vstup nebo chyba", en = "Unknown input or error"; break;
    }
    return lang == Lang::English ? en : cs;
}

float ConvertRawValue(const LoggerImage& image, int input, double raw) {
    if (!ValidInput(input)) return -1.0f;
    try {
        const double v = ConvertRawValueOrThrow(image, input, raw);
        return ToSingle(v);
    } catch (const EMath&) {
        return 0.0f;
    }
}

std::pair<float, float> RecordRange(const LoggerImage& image, int input) {
    return {ConvertRawValue(image, input, 0.0), ConvertRawValue(image, input, kRecordFullScale)};
}

int DecimalsForSpan(double span) {
    if (!std::isfinite(span) || span <= 0.0) ThrowInvalid();
    const double e = RoundHalfEven(std::log10(span) - 0.5);
    return e <= 3.0 ? static_cast<int>(3.0 - e) : 0;
}

std::string FormatInputValue(const LoggerImage& image, int input, double raw,
                             char decimalSeparator) {
    if (!std::isfinite(raw) || raw < 0.0 || raw > 65535.0) ThrowInvalid();
    // The six lowest bits carry converter noise and are not shown.
    const auto masked = static_cast<std::uint32_t>(raw) & 0xFFC0u;
    const float value = ConvertRawValue(image, input, masked);
    const double span = static_cast<double>(ConvertRawValue(image, input, kRecordFullScale)) -
                        static_cast<double>(ConvertRawValue(image, input, 0.0));
    const int decimals = DecimalsForSpan(span);

    // Fixed notation, locale independent; the separator is put in afterwards.
    char buf[128];
    const auto res = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value),
                                   std::chars_format::fixed, decimals);
    if (res.ec != std::errc()) ThrowInvalid();
    std::string text(buf, res.ptr);
    for (char& c : text)
        if (c == '.') c = decimalSeparator;
    return text;
}

float ResistanceFromTemperature(double t, int multiplierIndex) {
    const double f = Multiplier(multiplierIndex);
    double rel = 1.0 + kA * t + kB * t * t;
    if (t < 0.0) rel += kC * (t - 100.0) * t * t * t;
    return ToSingle(100.0 * f * rel);
}

float TemperatureFromResistance(double r, int multiplierIndex) {
    const double m = r / Multiplier(multiplierIndex);
    if (m > 760.0) return static_cast<float>(kTemperatureCap);
    if (m >= 100.0 && m <= 760.0)
        return ToSingle((Sqrt(kA * kA - 4.0 * kB * (1.0 - m / 100.0)) - kA) / (2.0 * kB));

    // Below 100 ohms (and for a value that is not a number at all) the
    // quartic C t^4 - 100 C t^3 + B t^2 + A t + (1 - m/100) = 0 is solved in
    // closed form (Ferrari, through the resolvent cubic).
    const double beta = kB / kC;
    const double gamma = kA / kC;
    const double delta = (1.0 - m / 100.0) / kC;
    // t = y + 25 removes the cubic term: y^4 + p y^2 + q y + s = 0.
    const double p = beta - 3750.0;
    const double q = 50.0 * beta + gamma - 125000.0;
    const double s = 625.0 * beta + 25.0 * gamma - 1171875.0 + delta;
    const double P = -(p * p / 3.0 + 4.0 * s);
    const double Q = -(2.0 / 27.0) * p * p * p + (8.0 / 3.0) * p * s - q * q;
    const double D = P * P * P / 27.0 + Q * Q / 4.0;
    const double sqrtD = Sqrt(D);
    const double U = std::exp(Ln(sqrtD - Q / 2.0) / 3.0);
    const double V = -std::exp(Ln(std::fabs(-Q / 2.0 - sqrtD)) / 3.0);
    const double S1 = 0.5 * Sqrt(U + V - 2.0 * p / 3.0);
    const double a = (-U - V) / 2.0 - 2.0 * p / 3.0;
    const double W = Sqrt(a * a + 0.75 * (U - V) * (U - V));
    const double S2 = Sqrt((W - (U + V) / 2.0 - 2.0 * p / 3.0) / 2.0);
    return ToSingle(S1 - S2 + 25.0);
}

float TemperatureFromRaw(const LoggerImage& image, int input, double count) {
    if (!ValidInput(input)) ThrowInvalid();
    const InputInfoBlock& info = image.InputInfo;
    const double r = count * (65536.0 + info.CalibrationTrim[input]) *
                     static_cast<double>(info.CalibrationFactor[input]) / 65536.0;
    return TemperatureFromResistance(r, info.InputType[input] >> 6);
}

std::uint16_t RawFromTemperature(const LoggerImage& image, int input, double t) {
    if (!ValidInput(input)) ThrowInvalid();
    const InputInfoBlock& info = image.InputInfo;
    const double r = ResistanceFromTemperature(t, info.InputType[input] >> 6);
    double k = Divide(65536.0 * r, (65536.0 + info.CalibrationTrim[input]) *
                                       static_cast<double>(info.CalibrationFactor[input]));
    if (std::isnan(k)) ThrowInvalid();
    if (k < 0.0) k = 0.0;
    if (k > 65535.0) k = 65535.0;
    return static_cast<std::uint16_t>(RoundHalfEven(k));
}

std::pair<float, float> SignalConverterRange(const LoggerImage& image, int input) {
    if (!ValidInput(input)) return {0.0f, 0.0f};
    const InputInfoBlock& info = image.InputInfo;
    const double trim = info.CalibrationTrim[input];
    const double factor = info.CalibrationFactor[input];
    const bool unipolar = image.TypeByte() <= 1 || (info.InputCaps[input] & kCapUnipolar) != 0;
    const double lowCount = unipolar ? trim : trim - 32768.0;
    const double highCount = unipolar ? trim + 65536.0 : trim + 32768.0;
    const double lo = factor * lowCount;
    const double hi = factor * highCount;
    const float flo = static_cast<float>(lo);
    const float fhi = static_cast<float>(hi);
    if (!std::isfinite(flo) || !std::isfinite(fhi)) return {0.0f, 0.0f};
    return {flo, fhi};
}

std::uint16_t CurrentAlarmToRaw(const LoggerImage& image, int input, double value) {
    if (!ValidInput(input)) ThrowInvalid();
    const auto [convLow, convHigh] = ConverterEnds(image, input);
    double raw = Divide(value - convLow, convHigh - convLow) * kConverterFullScale;
    if (std::isnan(raw)) ThrowInvalid();
    raw = RoundHalfEven(raw);
    if (raw < 0.0) raw = 0.0;
    if (raw > 65535.0) raw = 65535.0;
    return static_cast<std::uint16_t>(raw);
}

float CurrentAlarmFromRaw(const LoggerImage& image, int input, std::uint16_t raw) {
    if (!ValidInput(input)) ThrowInvalid();
    const auto [convLow, convHigh] = ConverterEnds(image, input);
    return ToSingle(convLow + (convHigh - convLow) * raw / kConverterFullScale);
}

float TableLookup(const InputTable& table, double v) { return Lookup(table.X, table.Y, v); }

float TableLookupInverse(const InputTable& table, double v) {
    return Lookup(table.Y, table.X, v);
}

double TableAlarmToRawUnchecked(const InputTable& table, double value) {
    const double x = TableLookupInverse(table, value);
    return RoundHalfEven(Divide(1'000'000.0, x));
}

float TableAlarmFromRaw(const InputTable& table, std::uint16_t raw) {
    const double r = raw == 0 ? 1.0 : static_cast<double>(raw);
    return TableLookup(table, 1'000'000.0 / r);
}

float CelsiusToFahrenheit(double x) { return static_cast<float>(x * 9.0 / 5.0 + 32.0); }
float FahrenheitToCelsius(double x) { return static_cast<float>((x - 32.0) * 5.0 / 9.0); }
float CelsiusToKelvin(double x) { return static_cast<float>(x + kKelvinOffset); }
float KelvinToCelsius(double x) { return static_cast<float>(x - kKelvinOffset); }

double IntPower(double x, int n) {
    const long long count = n >= 0 ? n : -static_cast<long long>(n);
    double result = 1.0;
    for (long long i = 0; i < count; ++i) {
        if (n >= 0)
            result *= x;
        else
            result /= x;
        // Once the result is zero, infinite or not a number, further steps
        // can only flip its sign; finish by the parity of the steps left.
        if (result == 0.0 || !std::isfinite(result)) {
            if (std::signbit(x) && ((count - i - 1) % 2) != 0) result = -result;
            break;
        }
    }
    return result;
}

std::string FormatValueCell(double value, int decimals, const std::string& unit, char decimalSeparator) {
    const int d = decimals < 0 ? 0 : (decimals > 15 ? 15 : decimals);
    char b[64];
    std::size_t n = 0;
    char num[48];
    const auto r = std::isfinite(value) && std::fabs(value) < 1e15
                       ? std::to_chars(num, num + sizeof num, value, std::chars_format::fixed, d)
                       : std::to_chars_result{nullptr, std::errc::value_too_large};
    if (r.ec == std::errc()) {
        // " %6.*f ", the same correctly rounded digits without the format parser.
        const auto len = static_cast<std::size_t>(r.ptr - num);
        b[n++] = ' ';
        for (std::size_t pad = len; pad < 6; ++pad) b[n++] = ' ';
        std::memcpy(b + n, num, len);
        n += len;
        b[n++] = ' ';
    } else {
        const int w = std::snprintf(b, sizeof b, " %6.*f ", d, value);
        n = w > 0 ? std::min<std::size_t>(static_cast<std::size_t>(w), sizeof b - 1) : 0;
    }
    std::string s;
    s.reserve(n + unit.size());
    for (std::size_t i = 0; i < n; ++i) s += b[i] == '.' ? decimalSeparator : b[i];
    return s + unit;
}

}  // namespace kolvex
