#include "logger/ServiceViews.h"

#include <cstdio>

#include "app/Errors.h"
#include "logger/DateTime.h"

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
