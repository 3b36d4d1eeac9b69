// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger/LoggerAudit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "base/AuditTrail.h"
#include "base/DateTime.h"
#include "link/LinkTrace.h"
#include "logger/Conversion.h"
#include "logger/LoggerOps.h"
#include "logger/Periods.h"
#include "logger/ServiceViews.h"

namespace kolvex {

using nlohmann::json;

json LoggerObject(const LoggerImage& image) {
    json o = {{"logger_type", image.TypeByte()}};
    o["serial"] = image.SerialNumber != 0 ? json(FormatSerialNumber(image.SerialNumber)) : json(nullptr);
    return o;
}

// ---- parameter store --------------------------------------------------------

namespace {

std::string HexBytes(const std::uint8_t* p, std::size_t n) { return LinkTrace::Hex(p, n); }

// A number as the editor would show it: up to 7 significant digits.
json Number(double v) {
    if (!std::isfinite(v)) return json(nullptr);
    char b[32];
    std::snprintf(b, sizeof b, "%.7g", v);
    return std::strtod(b, nullptr);
}

enum class Kind { Text, Byte, Flags, Float, Alarm };
struct Field {
    const char* Name;
    std::size_t Offset, Size;
    Kind K;
};

const Field kBlockFields[] = {
    {"reserved0", 0, 1, Kind::Byte},     {"period_value", 1, 1, Kind::Byte}, {"period_unit", 2, 1, Kind::Byte},
    {"archive_flags", 3, 1, Kind::Flags}, {"reserved4", 4, 4, Kind::Byte},   {"file_name", 8, 8, Kind::Text},
    {"logger_name", 16, 16, Kind::Text},
};
const Field kInputFields[] = {
    {"name", 0, 12, Kind::Text},          {"unit", 12, 4, Kind::Text},           {"signal_low", 16, 4, Kind::Float},
    {"signal_high", 20, 4, Kind::Float},  {"range_low", 24, 4, Kind::Float},     {"range_high", 28, 4, Kind::Float},
    {"record_offset", 32, 4, Kind::Float}, {"record_scale", 36, 4, Kind::Float}, {"alarm_low", 40, 2, Kind::Alarm},
    {"alarm_high", 42, 2, Kind::Alarm},   {"reserved44", 44, 4, Kind::Byte},
};

// The alarm limit as the editor shows it, where it needs no table.
json AlarmShown(const LoggerImage& image, int n, std::uint16_t raw) {
    const std::uint8_t low = image.InputInfo.InputType[n] & 0x0F;
    try {
        if (low == 5 || low == 7) return Number(TemperatureFromRaw(image, n, raw));
        if (low == 1 || low == 9) return Number(CurrentAlarmFromRaw(image, n, raw));
    } catch (...) {
    }
    return raw;
}

json Shown(const LoggerImage& image, int input, const Field& f, const std::uint8_t* p) {
    switch (f.K) {
        case Kind::Text: return ReadFixedText(p, f.Size);
        case Kind::Flags: {
            char b[8];
            std::snprintf(b, sizeof b, "0x%02X", p[0]);
            return b;
        }
        case Kind::Float: return Number(GetF32(p));
        case Kind::Alarm: return AlarmShown(image, input, GetU16(p));
        case Kind::Byte: break;
    }
    return f.Size == 1 ? json(p[0]) : json(HexBytes(p, f.Size));
}

}  // namespace

json ParameterChanges(const LoggerImage& image, const ParameterBlock& before, const ParameterBlock& after) {
    const auto a = before.Bytes(), b = after.Bytes();
    LoggerImage oldImage = image, newImage = image;
    oldImage.Parameters = before;
    newImage.Parameters = after;
    json changes = json::array();
    auto compare = [&](const Field& f, std::size_t base, int input, const std::string& name) {
        const std::size_t at = base + f.Offset;
        if (std::equal(a.begin() + at, a.begin() + at + f.Size, b.begin() + at)) return;
        changes.push_back({{"field", name},
                           {"old", Shown(oldImage, input, f, a.data() + at)},
                           {"new", Shown(newImage, input, f, b.data() + at)},
                           {"old_raw", HexBytes(a.data() + at, f.Size)},
                           {"new_raw", HexBytes(b.data() + at, f.Size)}});
    };
    for (const Field& f : kBlockFields) compare(f, 0, 0, f.Name);
    for (int n = 0; n < 2; ++n)
        for (const Field& f : kInputFields)
            compare(f, 32 + 48 * static_cast<std::size_t>(n), n, "input" + std::to_string(n + 1) + "." + f.Name);
    return changes;
}

void AuditParameterStore(const LoggerImage& image, const ParameterBlock& before, const ParameterBlock& after) {
    AuditEvent e;
    e.Action = audit::ParameterStore;
    e.Object = LoggerObject(image);
    e.Details = {{"changes", ParameterChanges(image, before, after)},
                 {"period_old", PeriodDisplayText(before.PeriodValue, before.PeriodUnit, Lang::English)},
                 {"period_new", PeriodDisplayText(after.PeriodValue, after.PeriodUnit, Lang::English)}};
    WriteAudit(e);
}

// ---- archive erase ----------------------------------------------------------

void AuditArchiveErase(const LoggerImage& image, const ArchivePointers& before, std::int32_t newRead,
                       const std::string& reason) {
    AuditEvent e;
    e.Action = audit::ArchiveErase;
    e.Object = LoggerObject(image);
    e.Details = {{"read_before", before.ArchiveRead},
                 {"write", before.ArchiveWrite},
                 {"read_after", newRead},
                 {"unread_bytes", UnreadArchiveBytes(before, image.InputInfo.ArchiveSize)},
                 {"reason", reason}};
    WriteAudit(e);
}

// ---- clock ------------------------------------------------------------------

namespace {
std::atomic<int> g_driftLimit{kDefaultDriftLimitSeconds};
}  // namespace

void SetDriftLimitSeconds(int seconds) { g_driftLimit = seconds < 0 ? 0 : seconds; }
int DriftLimitSeconds() { return g_driftLimit; }

std::string ClockSettingsPath(const std::string& configPath) {
    return (std::filesystem::path(configPath).parent_path() / "kolvex12-clock.ini").string();
}

int LoadDriftLimit(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kDefaultDriftLimitSeconds;
    struct stat st {};
    char buf[512] = {};
    ssize_t n = -1;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) n = ::read(fd, buf, sizeof buf - 1);
    ::close(fd);
    if (n <= 0) return kDefaultDriftLimitSeconds;
    const std::string text(buf, static_cast<std::size_t>(n));
    const auto at = text.find("drift_limit=");
    if (at == std::string::npos) return kDefaultDriftLimitSeconds;
    char* end = nullptr;
    const long v = std::strtol(text.c_str() + at + 12, &end, 10);
    return (end == text.c_str() + at + 12 || v < 0 || v > 86400L * 366) ? kDefaultDriftLimitSeconds : static_cast<int>(v);
}

bool SaveDriftLimit(const std::string& path, int seconds) {
    mode_t mode = 0644;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return false;
        mode = st.st_mode & 07777;
    }
    const std::string tmp = path + ".tmp~" + std::to_string(::getpid());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return false;
    const std::string text = "drift_limit=" + std::to_string(seconds) + "\n";
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

bool ClockDrift::Exceeded() const { return !Valid || std::llabs(Seconds) > LimitSeconds; }

ClockDrift ReadClockDrift(LoggerOps& ops, int limitSeconds) {
    ClockDrift d;
    d.LimitSeconds = limitSeconds;
    const double before = NowLocal();
    const LoggerClock c = ops.ReadClock();
    const double after = NowLocal();
    // The logger's seconds change at whole seconds; the PC's moment is the
    // middle of the exchange.
    d.PcTime = (before + after) / 2;
    d.LoggerText = FormatRawClock(c);
    d.Valid = ClockValid(c);
    if (d.Valid) {
        d.LoggerTime = ClockToDateTime(c);
        d.Seconds = std::llround((d.LoggerTime - d.PcTime) * 86400.0);
    }
    return d;
}

namespace {

std::string Signed(std::int64_t s) { return (s > 0 ? "+" : "") + std::to_string(s); }

}  // namespace

std::string DriftText(const ClockDrift& d, Lang lang) {
    const std::string pc = FormatIsoDateTime(std::floor(d.PcTime * 86400.0 + 0.5) / 86400.0);
    if (!d.Valid)
        return Tr(lang, "neplatný čas záznamníku " + d.LoggerText + " (PC " + pc + ")",
                  "invalid logger clock " + d.LoggerText + " (PC " + pc + ")");
    return Signed(d.Seconds) + " s (" + Tr(lang, "záznamník ", "logger ") + d.LoggerText + ", PC " + pc + ")";
}

std::string DriftWarning(const ClockDrift& d, Lang lang) {
    if (!d.Valid)
        return Tr(lang, "Hodiny záznamníku neobsahují platný čas (" + d.LoggerText + "); nastavte je podle PC.",
                  "The logger's clock holds no valid time (" + d.LoggerText + "); set it from the PC.");
    const std::string n = std::to_string(std::llabs(d.Seconds));
    const std::string limit = std::to_string(d.LimitSeconds);
    return d.Seconds > 0
               ? Tr(lang, "Hodiny záznamníku jdou o " + n + " s napřed proti PC (povoleno " + limit + " s); nastavte je.",
                    "The logger's clock is " + n + " s ahead of the PC (limit " + limit + " s); set it.")
               : Tr(lang, "Hodiny záznamníku jdou o " + n + " s pozadu proti PC (povoleno " + limit + " s); nastavte je.",
                    "The logger's clock is " + n + " s behind the PC (limit " + limit + " s); set it.");
}

json DriftJson(const ClockDrift& d) {
    return {{"logger", d.LoggerText},
            {"pc", FormatIsoDateTime(std::floor(d.PcTime * 86400.0 + 0.5) / 86400.0)},
            {"valid", d.Valid},
            {"seconds", d.Valid ? json(d.Seconds) : json(nullptr)},
            {"limit", d.LimitSeconds},
            {"exceeded", d.Exceeded()}};
}

void AuditClockSet(const LoggerImage& image, std::optional<double> oldLoggerTime, double newTime,
                   const std::string& source) {
    WriteAudit(ClockSetEvent(image, oldLoggerTime, newTime, source));
}

AuditEvent ClockSetEvent(const LoggerImage& image, std::optional<double> oldLoggerTime, double newTime,
                         const std::string& source) {
    AuditEvent e;
    e.Action = audit::ClockSet;
    e.Object = LoggerObject(image);
    e.Details = {{"old", oldLoggerTime ? json(FormatIsoDateTime(*oldLoggerTime)) : json(nullptr)},
                 {"new", FormatIsoDateTime(newTime)},
                 {"source", source}};
    return e;
}

ClockDrift SetLoggerClockFromPc(LoggerOps& ops, int limitSeconds, const std::string& source) {
    const ClockDrift before = ReadClockDrift(ops, limitSeconds);
    // To the nearest second: the logger's clock holds no fraction.
    const double now = std::floor(NowLocal() * 86400.0 + 0.5) / 86400.0;
    const LoggerClock c = DateTimeToClock(now);
    ops.WriteClock(c);
    std::optional<double> old;
    if (before.Valid) old = before.LoggerTime;
    AuditClockSet(ops.Data().Image, old, now, source);
    return before;
}

// ---- summer time ------------------------------------------------------------

namespace {

long OffsetAt(double localTime) {
    const DateTimeParts p = DecodeDateTime(localTime);
    std::tm t{};
    t.tm_year = p.Year - 1900;
    t.tm_mon = p.Month - 1;
    t.tm_mday = p.Day;
    t.tm_hour = p.Hour;
    t.tm_min = p.Minute;
    t.tm_sec = p.Second;
    t.tm_isdst = -1;
    const std::time_t v = std::mktime(&t);
    std::tm l{};
    ::localtime_r(&v, &l);
    return l.tm_gmtoff;
}

}  // namespace

bool NearOffsetChange(double localTime) { return OffsetAt(localTime - 1) != OffsetAt(localTime + 1); }

void SummerTimeCheck::Add(double t) {
    if (!have_) {
        have_ = true;
        last_ = t;
        return;
    }
    const double step = (t - last_) * 86400.0;
    if (haveStep_) {
        const double change = step - lastStep_;
        const bool hour = std::fabs(std::fabs(change) - 3600.0) <= 120.0;
        if (hour && NearOffsetChange(t)) {
            findings_.push_back({change < 0, t});
            // The step after the change is the usual one again.
            last_ = t;
            return;
        }
    }
    lastStep_ = step;
    haveStep_ = true;
    last_ = t;
}

std::string SummerTimeText(const SummerTimeFinding& f, Lang lang) {
    const std::string at = FormatIsoDateTime(f.At);
    return f.Repeated ? Tr(lang, "Záznamy opakují hodinu při změně letního času (u " + at + "); jsou uloženy, jak jsou.",
                           "The records repeat an hour at the summer-time change (at " + at + "); they are stored as they are.")
                      : Tr(lang, "Záznamy vynechávají hodinu při změně letního času (u " + at + "); jsou uloženy, jak jsou.",
                           "The records skip an hour at the summer-time change (at " + at + "); they are stored as they are.");
}

}  // namespace kolvex
