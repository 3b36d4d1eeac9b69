// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger/ServiceViews.h"

#include <cstdio>

#include "base/Errors.h"
#include "base/DateTime.h"

namespace kolvex {

std::string FormatVersion(std::uint8_t major, std::uint8_t minor) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%2.2d / %2.2d", major, minor);
    return buf;
}

std::string FormatSerialNumber(std::int32_t serial) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%8.8d", serial);
    return buf;
}

double ClockToDateTime(const LoggerClock& c) {
    const auto v = TryEncodeDateTime(c.Year + 2000, c.Month, c.Day, c.Hours, c.Minutes, c.Seconds, 0);
    if (v) return *v;
    return *TryEncodeDateTime(2001, 1, 1, 0, 0, 0, 0);
}

bool ClockValid(const LoggerClock& c) {
    return c.Year <= 99 &&
           TryEncodeDateTime(c.Year + 2000, c.Month, c.Day, c.Hours, c.Minutes, c.Seconds, 0).has_value();
}

std::string FormatRawClock(const LoggerClock& c) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", c.Year + 2000, c.Month, c.Day, c.Hours, c.Minutes,
                  c.Seconds);
    return buf;
}

std::string InvalidClockWarning(const LoggerClock& c, Lang lang) {
    return Tr(lang, "Hodiny přístroje obsahují neplatné datum a čas: ",
              "The logger's clock holds an impossible date and time: ") +
           FormatRawClock(c);
}

std::string InvalidClockQuestion(Lang lang) {
    return Tr(lang, "Hodiny přístroje obsahují neplatné datum a čas.\n\nNastavit je podle času PC?",
              "The logger's clock holds an impossible date and time.\n\nSet it from the PC's clock?");
}

LoggerClock DateTimeToClock(double value) {
    const DateTimeParts p = DecodeDateTime(value);
    if (p.Year < 2000 || p.Year > 2099)
        throw ESetCas(Tr("Chybný údaj rok (2000 - 2099)", "Fault year (2000 - 2099)"));
    LoggerClock c;
    c.Seconds = static_cast<std::uint8_t>(p.Second);
    c.Minutes = static_cast<std::uint8_t>(p.Minute);
    c.Hours = static_cast<std::uint8_t>(p.Hour);
    c.DayOfWeek = static_cast<std::uint8_t>(p.DayOfWeek);
    c.Day = static_cast<std::uint8_t>(p.Day);
    c.Month = static_cast<std::uint8_t>(p.Month);
    c.Year = static_cast<std::uint8_t>(p.Year % 100);
    c.Reserved7 = 0;
    return c;
}

int ArchiveFillPercent(const ArchivePointers& p, std::uint32_t archiveSize) {
    if (p.Full()) return 100;
    const std::int64_t size = archiveSize ? archiveSize : 32768;
    std::int64_t d = static_cast<std::int64_t>(p.ArchiveWrite) - p.ArchiveRead;
    d = static_cast<std::int32_t>(d);  // signed 32-bit difference
    if (d < 0) d += size;
    return static_cast<int>(d * 100 / size);
}

std::string FormatFillPercent(int fill) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%3d %%", fill);
    return buf;
}

std::string FormatPointers(const ArchivePointers& p) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%4.4X  /  %4.4X", static_cast<unsigned>(p.ArchiveRead),
                  static_cast<unsigned>(p.ArchiveWrite));
    return buf;
}

std::uint32_t UnreadArchiveBytes(const ArchivePointers& p, std::uint32_t archiveSize) {
    const bool sizeKnown = archiveSize >= 256 && (archiveSize & (archiveSize - 1)) == 0;
    const std::uint32_t size = sizeKnown ? archiveSize : 32768;
    if (p.Full()) return size;
    const auto d = static_cast<std::uint32_t>(p.ArchiveWrite) - static_cast<std::uint32_t>(p.ArchiveRead);
    return d & (size - 1);
}

std::string EraseArchiveQuestion(const ArchivePointers& p, std::uint32_t unreadBytes, Lang lang) {
    const std::string n = std::to_string(unreadBytes);
    std::string text = Tr(lang, "Vymazat všechny záznamy v přístroji?\n\n", "Delete all records in the logger?\n\n");
    if (unreadBytes == 0)
        return text + Tr(lang, "Všechny záznamy v přístroji již byly přečteny do PC.",
                         "Every record in the logger has already been read into the PC.");
    if (p.Full())
        text += Tr(lang, "Archivační paměť je plná. ", "The archive memory is full. ");
    return text + Tr(lang, "V přístroji je " + n + " bajtů záznamů, které od posledního čtení nebyly přečteny do PC; "
                               "po vymazání je již nebude možné přečíst.",
                     "The logger holds " + n + " bytes of records that have not been read into the PC since the "
                               "last download; once deleted they cannot be read.");
}

std::string FormatBatteryVoltage(std::uint8_t tenths) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%1.1d.%1.1d V", tenths / 10, tenths % 10);
    return buf;
}

DiagnosticView ViewDiagnostics(const DiagnosticState& d) {
    DiagnosticView v{};
    v.BatteryNow = d.BatteryFlags & 0x01;
    v.BatteryHistory = d.BatteryFlags & 0x10;
    v.Alarm1LowNow = d.Alarm1Flags & 0x01;
    v.Alarm1HighNow = d.Alarm1Flags & 0x02;
    v.Alarm1LowHistory = d.Alarm1Flags & 0x10;
    v.Alarm1HighHistory = d.Alarm1Flags & 0x20;
    v.Alarm2LowNow = d.Alarm2Flags & 0x01;
    v.Alarm2HighNow = d.Alarm2Flags & 0x02;
    v.Alarm2LowHistory = d.Alarm2Flags & 0x10;
    v.Alarm2HighHistory = d.Alarm2Flags & 0x20;
    return v;
}

}  // namespace kolvex
