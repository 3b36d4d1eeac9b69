// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The configuration record: the 344-byte image of "kolvex12.cfg". Every
// subsystem keeps its settings in its own fields and changes them in memory;
// only the start-up and shutdown code reads and writes the file. Bytes that no
// field covers are kept exactly as read.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Cp1250.h"

namespace kolvex {

inline constexpr std::size_t kConfigRecordSize = 344;
inline constexpr const char* kConfigFileName = "kolvex12.cfg";

// The kinds of a period block: a day, a week, a month, a year, a chosen
// start and end, or every record.
enum PeriodKind : int { pkDay = 0, pkWeek = 1, pkMonth = 2, pkYear = 3, pkChosen = 4, pkAll = 5 };

// A period selection block (32 bytes): kind, year, month index 0-11, day,
// week, 4 unused bytes, start and end date-time values.
struct PeriodSettings {
    std::int32_t Kind = 0;
    std::uint16_t Year = 0;
    std::uint16_t MonthIndex = 0;
    std::uint16_t Day = 0;
    std::uint16_t Week = 0;
    std::array<std::uint8_t, 4> Unused{};
    double Start = 0;
    double End = 0;

    static PeriodSettings Decode(const std::uint8_t* p);
    void Encode(std::uint8_t* p) const;
};

struct ConfigRecord {
    std::uint16_t Marker = 0;          // 0: 111 before every save
    std::int32_t WindowTop = 0;        // 4
    std::int32_t WindowLeft = 0;       // 8
    std::int32_t WindowHeight = 0;     // 12
    std::int32_t WindowWidth = 0;      // 16
    std::uint8_t MeasuringOn = 0;      // 20
    std::int32_t Language = 0;         // 24: 0 Czech, 1 English (above 1 counts as 0)
    std::uint8_t BusAddress = 0;       // 28
    std::uint8_t Byte29 = 0;           // 29: 1 with the defaults
    std::string ComPort;               // 30: counted string [4], UTF-8 in memory; in
                                       // memory also a device path, which the file
                                       // keeps as "DEV" with the path in the
                                       // companion file (CompanionPortFile)
    std::uint8_t Byte35 = 0;           // 35: 3 with the defaults
    std::uint16_t TIdle = 0;           // 36
    std::uint16_t TSlot = 0;           // 38
    std::uint8_t SetClockFromPC = 0;   // 40
    std::string LastArchivePath;       // 44: counted string [128]
    std::int32_t ViewerTab = 0;        // 176
    std::int32_t ViewerGridWidth = 0;  // 180
    std::int32_t NameSource = 0;       // 184
    std::int32_t SplitFlags = 0;       // 188
    std::int32_t ReadMode = 0;         // 192
    std::uint8_t InsertBookmark = 0;   // 196
    PeriodSettings PrintPeriod;        // 200
    std::int32_t StepIndex = 0;        // 232
    PeriodSettings ChartPeriod;        // 240
    PeriodSettings ExportPeriod;       // 272
    std::int32_t Word304 = 0;          // 304: 9 with the defaults
    PeriodSettings ErasePeriod;        // 312

    // The bytes as read; fields are laid over them when encoding.
    std::array<std::uint8_t, kConfigRecordSize> Raw{};

    // Decodes `length` bytes (a shorter image leaves the rest zero; a longer
    // one is cut to 344 bytes).
    static ConfigRecord Decode(const std::uint8_t* bytes, std::size_t length);
    std::array<std::uint8_t, kConfigRecordSize> Encode() const;
};

// Counted strings: ReadCountedString / WriteCountedString of base/Cp1250.h.

// The companion file beside the configuration ("kolvex12.port" beside
// "kolvex12.cfg"): one line, the path of a port that has no short alias.
std::string CompanionPortFile(const std::string& configPath);

// Reads the file; false when it cannot be opened (the record is untouched).
// The port alias "DEV" is replaced by the path of the companion file. A
// configuration or companion file that is there but is no regular file (or
// cannot be read) is refused at once: its message goes to *refusal (empty
// otherwise); a refused configuration file gives false.
bool LoadConfigFile(const std::string& path, ConfigRecord& record, std::string* refusal = nullptr);
// Writes the file with Marker 111 through a temporary file renamed into place,
// so a crash while saving never destroys the previous file; a device path as
// the port goes to the companion file. False on failure.
bool SaveConfigFile(const std::string& path, ConfigRecord& record);

}  // namespace kolvex
