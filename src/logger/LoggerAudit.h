// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The logger's side of the audit trail and of its clock: the entries of a
// parameter store, a clock set and an archive erase; the drift of the
// logger's clock against the PC's, read at every download; and the check of
// a download's time stamps for an hour repeated or skipped at a summer-time
// change.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/AuditTrail.h"
#include "base/Language.h"
#include "logger/Records.h"

namespace kolvex {

class LoggerOps;

// The object of a logger entry: logger type and serial number (null while
// the serial number has not been read).
nlohmann::json LoggerObject(const LoggerImage& image);

// ---- parameter store --------------------------------------------------------

// Every field of the parameter block whose bytes differ: its name, the old
// and new value as the editor shows it (alarm limits of resistance and
// current inputs in their unit, other fields as stored) and as raw bytes.
nlohmann::json ParameterChanges(const LoggerImage& image, const ParameterBlock& before, const ParameterBlock& after);
// Entry of a parameter store (throws EAudit when it cannot be written).
void AuditParameterStore(const LoggerImage& image, const ParameterBlock& before, const ParameterBlock& after);

// ---- archive erase ----------------------------------------------------------

// Entry of an emptied archive: the pointers read before and the read
// pointer written; `reason` says what emptied it.
void AuditArchiveErase(const LoggerImage& image, const ArchivePointers& before, std::int32_t newRead,
                       const std::string& reason);

// ---- clock ------------------------------------------------------------------

inline constexpr int kDefaultDriftLimitSeconds = 60;

// The limit above which a download warns of the drift (process-wide;
// kDefaultDriftLimitSeconds until set).
void SetDriftLimitSeconds(int seconds);
int DriftLimitSeconds();
// The desktop program keeps its limit in "kolvex12-clock.ini" beside the
// configuration file (a line "drift_limit=SECONDS"); a missing or unreadable
// file gives the default.
std::string ClockSettingsPath(const std::string& configPath);
int LoadDriftLimit(const std::string& path);
// Writes the file anew (through a temporary file and a rename, keeping the
// mode of the file it replaces); false when that fails.
bool SaveDriftLimit(const std::string& path, int seconds);

// The logger's clock compared with the PC's at the moment it was read.
struct ClockDrift {
    bool Valid = false;       // the clock bytes formed a date and time
    std::string LoggerText;   // the clock bytes as "YYYY-MM-DD HH:MM:SS"
    double LoggerTime = 0;    // date-time value (local), when valid
    double PcTime = 0;        // the PC's local time at the reading
    std::int64_t Seconds = 0; // logger minus PC, rounded to whole seconds
    int LimitSeconds = kDefaultDriftLimitSeconds;

    // Above the limit (or no valid clock at all): the user is warned.
    bool Exceeded() const;
};

// Reads the logger's clock (one ReadClock) and the PC's clock around it.
ClockDrift ReadClockDrift(LoggerOps& ops, int limitSeconds);
// The comparison for a report line: "+300 s (logger 2026-... , PC 2026-...)".
std::string DriftText(const ClockDrift& drift, Lang lang);
// The warning when Exceeded(): says by how much and what to do.
std::string DriftWarning(const ClockDrift& drift, Lang lang);
nlohmann::json DriftJson(const ClockDrift& drift);

// Entry of a clock set: the logger's time before (when known) and after.
void AuditClockSet(const LoggerImage& image, std::optional<double> oldLoggerTime, double newTime,
                   const std::string& source);
AuditEvent ClockSetEvent(const LoggerImage& image, std::optional<double> oldLoggerTime, double newTime,
                         const std::string& source);
// Sets the logger's clock from the PC's (to the nearest second) and writes
// the entry; returns the drift read just before. Throws the link's errors,
// ESetCas outside the years 2000..2099, EAudit after a done set.
ClockDrift SetLoggerClockFromPc(LoggerOps& ops, int limitSeconds, const std::string& source);

// ---- summer time ------------------------------------------------------------

// An hour repeated or skipped in a run of time stamps where the local time
// zone changes to or from summer time.
struct SummerTimeFinding {
    bool Repeated = false;  // false: skipped
    double At = 0;          // time stamp of the first record after the step
};

// Fed the time stamps of a download in order; a step between two records
// that differs from the step before it by one hour (within two minutes),
// within a day of a change of the local zone's offset, is a finding.
class SummerTimeCheck {
public:
    void Add(double timestamp);
    const std::vector<SummerTimeFinding>& Findings() const { return findings_; }

private:
    bool have_ = false, haveStep_ = false;
    double last_ = 0, lastStep_ = 0;
    std::vector<SummerTimeFinding> findings_;
};
// True when the local zone's UTC offset differs between t - 1 day and t + 1 day.
bool NearOffsetChange(double localTime);
std::string SummerTimeText(const SummerTimeFinding& f, Lang lang);

}  // namespace kolvex
