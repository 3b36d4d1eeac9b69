// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Conversion of the logger's raw numbers into engineering values and back.
// Pure functions of their arguments and of the logger image (parameter block,
// input information and logger type). All results are single precision;
// rounding to an integer is to nearest, ties to even.

#include <cstdint>
#include <string>
#include <utility>

#include "base/Language.h"
#include "logger/Records.h"

namespace kolvex {

inline constexpr double kRecordFullScale = 64255.0;
inline constexpr double kConverterFullScale = 65536.0;

std::string InputTypeName(std::uint8_t code, Lang lang);

// Engineering value of raw 0..65535 for input n (0 or 1). Never throws:
// arithmetic failures give 0, type codes outside the rules give -1.
float ConvertRawValue(const LoggerImage& image, int input, double raw);
// (ConvertRawValue(n, 0), ConvertRawValue(n, 64255))
std::pair<float, float> RecordRange(const LoggerImage& image, int input);
// Value text with decimals that follow the input's span. Throws EMath when the
// span is zero or negative. `decimalSeparator` replaces the full stop.
std::string FormatInputValue(const LoggerImage& image, int input, double raw,
                             char decimalSeparator = '.');
// The value cell of the viewer's grid and the printed listing: " %6.*f %s",
// the value right-aligned in six characters with its decimals (0..15), a
// blank and the unit; `decimalSeparator` replaces the full stop.
std::string FormatValueCell(double value, int decimals, const std::string& unit, char decimalSeparator);
// Number of decimals FormatInputValue uses for a span (throws EMath if span <= 0).
int DecimalsForSpan(double span);

// Resistance thermometers (Callendar-Van Dusen, IEC 60751 coefficients).
float ResistanceFromTemperature(double t, int multiplierIndex);
float TemperatureFromResistance(double r, int multiplierIndex);  // throws EMath
float TemperatureFromRaw(const LoggerImage& image, int input, double count);
std::uint16_t RawFromTemperature(const LoggerImage& image, int input, double t);

// Signal at the lowest and highest converter count; (0, 0) on failure.
std::pair<float, float> SignalConverterRange(const LoggerImage& image, int input);

// Alarm limits of current and voltage inputs.
std::uint16_t CurrentAlarmToRaw(const LoggerImage& image, int input, double value);
float CurrentAlarmFromRaw(const LoggerImage& image, int input, std::uint16_t raw);

// Table inputs (codes 47 and 63). Throw EMath on equal neighbouring keys.
float TableLookup(const InputTable& table, double v);
float TableLookupInverse(const InputTable& table, double v);
// raw = round(1 000 000 / TableLookupInverse(table, a)); may lie outside
// 1..65535, which the caller must refuse before storing.
double TableAlarmToRawUnchecked(const InputTable& table, double value);
// a = TableLookup(table, 1 000 000 / raw), raw 0 taken as 1.
float TableAlarmFromRaw(const InputTable& table, std::uint16_t raw);

float CelsiusToFahrenheit(double x);
float FahrenheitToCelsius(double x);
float CelsiusToKelvin(double x);
float KelvinToCelsius(double x);

double IntPower(double x, int n);

// Round to nearest, ties to even.
double RoundHalfEven(double x);

}  // namespace kolvex
