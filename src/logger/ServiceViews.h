// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the service windows (information, diagnostics, clock, archive erase,
// archiving parameters) show of the logger's records, computed without any
// toolkit so that the desktop program and the command-line tool agree.

#include <cstdint>
#include <string>

#include "base/Language.h"
#include "base/DateTime.h"
#include "logger/Records.h"

namespace kolvex {

// "%2.2d / %2.2d": bytes 1 and 7 give "01 / 07".
std::string FormatVersion(std::uint8_t major, std::uint8_t minor);
// "%8.8d" of the serial number taken as a signed 32-bit integer.
std::string FormatSerialNumber(std::int32_t serial);

// The logger clock as a date-time value; invalid bytes give 1 January 2001 00:00:00.
double ClockToDateTime(const LoggerClock& clock);
// The clock bytes form a date and time the logger can hold (year 2000..2099).
bool ClockValid(const LoggerClock& clock);
// The clock bytes as they are, "YYYY-MM-DD HH:MM:SS" (year = byte + 2000).
std::string FormatRawClock(const LoggerClock& clock);
// The warning shown for a clock that holds no valid date and time.
std::string InvalidClockWarning(const LoggerClock& clock, Lang lang);
// The question offering to set such a clock from the PC.
std::string InvalidClockQuestion(Lang lang);
// (The clock's "YYYY-MM-DD HH:MM:SS" text is FormatIsoDateTime of base/DateTime.h.)
// The bytes WriteClock sends for a date-time value (milliseconds dropped);
// throws ESetCas when the year is outside 2000..2099.
LoggerClock DateTimeToClock(double value);

// Fill of the archive memory of `archiveSize` bytes (the logger's
// ArchiveSize; 0 = not known, taken as 32768) in percent: 100 when full, else
// (write - read, plus the size when negative) * 100 / size.
int ArchiveFillPercent(const ArchivePointers& p, std::uint32_t archiveSize = 32768);
// "%3d %%"
std::string FormatFillPercent(int fill);
// "%4.4X  /  %4.4X" of the read and write pointers.
std::string FormatPointers(const ArchivePointers& p);

// Bytes of records the logger holds that have not been read since the last
// download: the whole memory when it is full, otherwise from the read to the
// write pointer around the ring. An archive size that is not a power of two
// of at least 256 (not read yet) counts as 32768 bytes.
std::uint32_t UnreadArchiveBytes(const ArchivePointers& p, std::uint32_t archiveSize);
// The question asked before the archive is emptied, naming those bytes.
std::string EraseArchiveQuestion(const ArchivePointers& p, std::uint32_t unreadBytes, Lang lang);

// "%1.1d.%1.1d V" of tenths of a volt: 33 -> "3.3 V", 255 -> "25.5 V".
std::string FormatBatteryVoltage(std::uint8_t tenths);

// Diagnostic indicator states (true = "Err").
struct DiagnosticView {
    bool BatteryNow, BatteryHistory;
    bool Alarm1LowNow, Alarm1LowHistory, Alarm1HighNow, Alarm1HighHistory;
    bool Alarm2LowNow, Alarm2LowHistory, Alarm2HighNow, Alarm2HighHistory;
};
DiagnosticView ViewDiagnostics(const DiagnosticState& d);

}  // namespace kolvex
