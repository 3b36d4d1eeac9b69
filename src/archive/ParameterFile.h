// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ".par" file beside every archive table (528 bytes, little-endian,
// counted code page 1250 strings), the 188-byte parameter image of tables of
// the old structure, the week numbering and the file-name suffixes of the
// per-period target files.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/Language.h"
#include "base/Cp1250.h"
#include "base/DateTime.h"
#include "logger/Records.h"

namespace kolvex {

inline constexpr std::size_t kParameterRecordSize = 528;
inline constexpr std::size_t kParameterChecksumOffset = 0x208;
inline constexpr std::int32_t kParameterModel = 730;
inline constexpr float kParameterVersion = 2.04f;
inline constexpr std::uint8_t kFieldTypeDateTime = 11;
inline constexpr std::uint8_t kFieldTypeFloat = 6;
inline constexpr int kMaxDescriptors = 3;

struct FieldDescriptor {
    std::uint8_t Type = 0;  // 11 date-time, 6 floating point
    std::string Name;       // capacity 10
    std::string Label;      // capacity 16
    std::string Unit;       // capacity 34 (display format for the time field)
    std::int32_t Decimals = 0;
};

struct AxisSettings {
    std::int32_t Source = 0;  // field index; 0 or less = nothing shown
    std::uint8_t Automatic = 0;
    double Minimum = 0;
    double Maximum = 0;
    std::int32_t Colour = 0;  // 0x00BBGGRR
    std::int32_t Marker = 0;  // 1 when built
};

// What a download knows of the logger's recording and the record's fields
// do not say: the logging period and, per logger input, its alarm limits in
// the measure of the stored values and whether it measures a temperature.
// Kept in the record's first reserved area behind a mark and its own check
// sum, so that a record written without it (all zero) or with other bytes
// there reads as "not known".
struct InputRecording {
    bool Known = false;        // the block describes this input
    bool Temperature = false;  // values in degrees Celsius
    std::optional<double> Low, High;
};
struct RecordingInfo {
    std::int32_t PeriodSeconds = 0;  // 0: not known (recording off)
    InputRecording Input[2];         // logger input 1 (VSTUP1), input 2 (VSTUP2)
};
inline constexpr std::size_t kRecordingInfoOffset = 0x0EC;
inline constexpr std::size_t kRecordingInfoSize = 52;

// The parameter file is the record and nothing else: the in-memory record is
// its byte image, so a short file replaces only its leading bytes and bytes
// never interpreted survive until the record is normalised for writing.
class ArchiveParameterRecord {
public:
    std::array<std::uint8_t, kParameterRecordSize> Bytes{};

    std::string SerialNumber() const;  // counted string at 0x008
    void SetSerialNumber(const std::string& text);
    std::int32_t FieldCount() const;
    void SetFieldCount(std::int32_t n);
    FieldDescriptor Descriptor(int i) const;  // i in 0..2
    void SetDescriptor(int i, const FieldDescriptor& d);
    std::int32_t PanelWidth() const;
    void SetPanelWidth(std::int32_t w);
    AxisSettings LeftAxis() const;
    void SetLeftAxis(const AxisSettings& a);
    AxisSettings RightAxis() const;
    void SetRightAxis(const AxisSettings& a);
    // The recording block; nullopt when the record holds none.
    std::optional<RecordingInfo> Recording() const;
    void SetRecording(const RecordingInfo& info);
    std::string Footer() const;  // capacity 33
    void SetFooter(const std::string& text);
    std::int32_t StoredChecksum() const;
    bool ChecksumOk() const;

    // Version 2.04, model 730, marker byte 1; reserved bytes (except a valid
    // recording block), descriptors at and beyond the field count and unused
    // string bytes zero; check sum fresh.
    void NormaliseForWriting();

    bool operator==(const ArchiveParameterRecord& o) const { return Bytes == o.Bytes; }
};

// Sum of the bytes 0x000..0x207, each 0..255.
std::int32_t ParameterChecksum(const ArchiveParameterRecord& record);

// The record of new tables for the logger's current settings, with the
// recording block (alarm limits of table inputs need their characteristic
// tables: `tables[n]`, null when not read, leaves that input's limits out).
ArchiveParameterRecord BuildParameterRecord(const LoggerImage& image, Lang language,
                                            const InputTable* const tables[2] = nullptr);

// The logging period of a parameter block in seconds; 0 when recording is off.
std::int32_t LoggingPeriodSeconds(const ParameterBlock& parameters);
// The recording block for the logger's current settings.
RecordingInfo RecordingInfoOf(const LoggerImage& image, const InputTable* const tables[2] = nullptr);

// Counted strings: ReadCountedString / WriteCountedString of base/Cp1250.h.

// ---- the 188-byte parameter file of old-structure tables -------------------
inline constexpr std::size_t kLegacyParameterSize = 188;

struct LegacyParameterImage {
    LoggerImage Image;
    std::uint16_t Checksum = 0;  // as stored at 184
    std::array<std::uint8_t, 2> Reserved186{};

    static LegacyParameterImage Decode(const std::uint8_t* p);  // 188 bytes
    // Encodes with a fresh check sum.
    std::array<std::uint8_t, kLegacyParameterSize> Encode() const;
    // Sum of the bytes 0..183 modulo 65536.
    static std::uint16_t ComputeChecksum(const std::uint8_t* p);
    bool ChecksumOk(const std::uint8_t* p) const { return ComputeChecksum(p) == Checksum; }
};

// ---- week numbering ---------------------------------------------------------
// WeekOfYear and WeekStart (Monday-to-Sunday weeks, week 1 holds 1 January)
// are those of base/DateTime.h.

// ---- per-period file names --------------------------------------------------
enum class SplitPeriod { Year, Month, Week, Day };

// "-2004", "-2004-08", "-2004-w36", "-2004-08-31" for a date-time.
std::string PeriodSuffix(SplitPeriod period, double dateTime);
// The base path with the suffix inserted before its extension.
std::string PeriodFilePath(const std::string& basePath, SplitPeriod period, double dateTime);

}  // namespace kolvex
