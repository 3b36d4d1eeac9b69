// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Byte codecs of the dBASE field types. Date-time values are days since
// 1899-12-30 (integer part the calendar day, fraction the time of day, also
// for negative values). Decoders return false for an empty (null) field.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/DateTime.h"

namespace kolvex::dbf {

inline constexpr std::int64_t kMsPerDay = 86400000;
// Julian day number of 1899-12-30.
inline constexpr std::int64_t kJulianOf18991230 = 2415019;
// Day number of 1899-12-30 when 0001-01-01 is day 1.
inline constexpr std::int64_t kOrdinalOf18991230 = 693594;
// Milliseconds since the day before 0001-01-01 at 10000-01-01 00:00, where the
// time stamps of level 7 and of Paradox tables end (0001-01-01 is day 1).
inline constexpr double kDb7TimestampEnd = 3652060.0 * static_cast<double>(kMsPerDay);

// Splits a date-time into its calendar day (relative to 1899-12-30) and the
// milliseconds of that day, rounded to the nearest millisecond.
void SplitDateTime(double value, std::int64_t& day, std::int64_t& ms);
double JoinDateTime(std::int64_t day, std::int64_t ms);

// Every decoder of a date or time stamp gives null (false) for a value
// outside the years 1 to 9999 (IsDateTimeInRange), as for other damage.

// 'T' (FoxPro): int32 Julian day, int32 milliseconds, little-endian; all zero = null.
void EncodeFoxDateTime(double value, std::uint8_t* out);
bool DecodeFoxDateTime(const std::uint8_t* in, double& value);

// '@' (level 7): big-endian double of milliseconds, 0001-01-01 being day 1.
void EncodeDb7Timestamp(double value, std::uint8_t* out);
bool DecodeDb7Timestamp(const std::uint8_t* in, double& value);

// 'O' (level 7): big-endian double, bit 63 set for values with a clear sign
// bit, all bits inverted for the others; all zero = null.
void EncodeDb7Double(double value, std::uint8_t* out);
bool DecodeDb7Double(const std::uint8_t* in, double& value);

// 'B' (Visual FoxPro): little-endian IEEE double. An empty value is written
// as a NaN (all bytes 0xFF) and every NaN reads as empty.
void EncodeFoxDouble(double value, std::uint8_t* out);
void EncodeFoxDoubleNull(std::uint8_t* out);
bool DecodeFoxDouble(const std::uint8_t* in, double& value);

// 'I' and '+' of level 7: big-endian int32 with the sign bit inverted.
void EncodeDb7Long(std::int32_t value, std::uint8_t* out);
std::int32_t DecodeDb7Long(const std::uint8_t* in);

// 'Y': little-endian int64 of ten-thousandths.
bool EncodeCurrency(double value, std::uint8_t* out);
double DecodeCurrency(const std::uint8_t* in);

// 'N' / 'F': right-aligned ASCII number. Encoding fails (false) when the value
// does not fit the width; blanks are null.
bool EncodeNumeric(double value, int width, int decimals, std::uint8_t* out);
bool DecodeNumeric(const std::uint8_t* in, std::size_t width, double& value);

// 'D': "YYYYMMDD"; blanks or an impossible date are null.
void EncodeDate(double value, std::uint8_t* out);
bool DecodeDate(const std::uint8_t* in, double& value);

// 'L': T t Y y true, F f N n false, anything else null.
bool DecodeLogical(std::uint8_t b, bool& value);

// (The text of a date-time for display and dumps is FormatIsoDateTime(value,
// true) of base/DateTime.h.)

// Parses "dd/mm/yyyy hh:nn:ss", "dd.mm.yyyy hh:nn:ss" or "yyyy-mm-dd hh:mm:ss[.mmm]"
// (the time part optional).
bool ParseDateTimeText(std::string_view text, double& value);

}  // namespace kolvex::dbf
