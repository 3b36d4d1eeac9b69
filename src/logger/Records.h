// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Byte layouts of the logger's records. Every record decodes from and encodes
// to its exact bytes (explicit little-endian, no casts of packed structs), so
// encode(decode(bytes)) reproduces the bytes, reserved ones included.
// Text fields are kept as their raw code page 1250 bytes; the accessors
// convert to and from UTF-8.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Bytes.h"

namespace kolvex {

inline constexpr std::size_t kParameterBlockSize = 128;
inline constexpr std::size_t kInputParametersSize = 48;
inline constexpr std::size_t kInputInfoSize = 48;
inline constexpr std::size_t kInputTableSize = 128;
inline constexpr std::size_t kIdentificationSize = 38;
inline constexpr std::size_t kClockSize = 8;
inline constexpr std::size_t kArchivePointersSize = 9;
inline constexpr std::size_t kDiagnosticSize = 5;
inline constexpr std::size_t kLoggerImageSize = 188;

// ---- text, BCD, float layout ----------------------------------------------
// Text of a fixed field: the bytes up to the first NUL or `length`, as UTF-8.
std::string ReadFixedText(const std::uint8_t* field, std::size_t length);
// Writes UTF-8 text into a fixed field as code page 1250, cut to the field
// length, the rest filled with NUL (a full field carries no terminator).
void WriteFixedText(std::uint8_t* field, std::size_t length, std::string_view utf8);

std::uint8_t BcdToByte(std::uint8_t b);
std::uint8_t ByteToBcd(std::uint8_t v);  // v in 0..99

// Convert `count` consecutive float32 in place between the logger float
// layout (logger type 4) and IEEE 754 little-endian.
void LoggerFloatToIeee(std::uint8_t* bytes, std::size_t count);
void IeeeToLoggerFloat(std::uint8_t* bytes, std::size_t count);

// ---- records --------------------------------------------------------------
struct InputParameters {
    std::array<std::uint8_t, 12> InputName{};
    std::array<std::uint8_t, 4> UnitText{};
    float SignalLow = 0, SignalHigh = 0, RangeLow = 0, RangeHigh = 0;
    float RecordOffset = 0, RecordScale = 0;
    std::uint16_t AlarmLowRaw = 0, AlarmHighRaw = 0;
    std::array<std::uint8_t, 4> Reserved44{};

    std::string Name() const;
    void SetName(std::string_view utf8);
    std::string Unit() const;
    void SetUnit(std::string_view utf8);

    static InputParameters Decode(const std::uint8_t* p);  // 48 bytes
    void Encode(std::uint8_t* p) const;
};

struct ParameterBlock {
    std::uint8_t Reserved0 = 0;
    std::uint8_t PeriodValue = 0;  // packed BCD
    std::uint8_t PeriodUnit = 0;   // 2 s, 3 min, 4 h, other = off
    std::uint8_t ArchiveFlags = 0;
    std::array<std::uint8_t, 4> Reserved4{};
    std::array<std::uint8_t, 8> FileName{};
    std::array<std::uint8_t, 16> LoggerName{};
    InputParameters Input[2];

    std::string File() const;
    void SetFile(std::string_view utf8);
    std::string Logger() const;
    void SetLogger(std::string_view utf8);

    static ParameterBlock Decode(const std::uint8_t* p);  // 128 bytes
    void Encode(std::uint8_t* p) const;
    std::array<std::uint8_t, kParameterBlockSize> Bytes() const;
};

// ArchiveFlags bits
inline constexpr std::uint8_t kFlagRecordInput1 = 0x01;
inline constexpr std::uint8_t kFlagRecordInput2 = 0x02;
inline constexpr std::uint8_t kFlagAccuracy = 0x04;
inline constexpr std::uint8_t kFlagNotCyclic = 0x10;
inline constexpr std::uint8_t kFlagAlarm1 = 0x40;
inline constexpr std::uint8_t kFlagAlarm2 = 0x80;

struct InputInfoBlock {
    std::uint8_t InputType[2] = {0, 0};
    std::uint8_t InputCaps[2] = {0, 0};
    std::array<std::uint8_t, 4> Reserved4{};
    std::uint32_t ArchiveSize = 0;
    std::array<std::uint8_t, 4> Reserved12{};
    std::int16_t CalibrationTrim[2] = {0, 0};
    float CalibrationFactor[2] = {0, 0};
    std::array<std::uint8_t, 4> Reserved28{};
    float SensorLow[2] = {0, 0};
    float SensorHigh[2] = {0, 0};

    static InputInfoBlock Decode(const std::uint8_t* p);  // 48 bytes
    void Encode(std::uint8_t* p) const;
    std::array<std::uint8_t, kInputInfoSize> Bytes() const;
};

// InputCaps bits
inline constexpr std::uint8_t kCapConfigurable = 0x01;
inline constexpr std::uint8_t kCapUnipolar = 0x04;
inline constexpr std::uint8_t kCapAlarmIndication = 0x40;

struct InputTable {
    float X[16] = {};  // quantity the sensor delivers
    float Y[16] = {};  // engineering value

    static InputTable Decode(const std::uint8_t* p);  // 128 bytes, x first in each pair
    void Encode(std::uint8_t* p) const;
};

struct IdentificationBlock {
    std::array<std::uint8_t, 16> Manufacturer{};
    std::array<std::uint8_t, 16> Type{};
    std::uint8_t VersionMajor = 0;
    std::uint8_t VersionMinor = 0;
    std::uint32_t SerialNumber = 0;

    std::string ManufacturerText() const;
    std::string TypeText() const;

    static IdentificationBlock Decode(const std::uint8_t* p);  // 38 bytes
    void Encode(std::uint8_t* p) const;
};

// Plain binary numbers, not BCD.
struct LoggerClock {
    std::uint8_t Seconds = 0, Minutes = 0, Hours = 0, DayOfWeek = 0;
    std::uint8_t Day = 1, Month = 1, Year = 0, Reserved7 = 0;

    static LoggerClock Decode(const std::uint8_t* p);  // 8 bytes
    void Encode(std::uint8_t* p) const;
};

struct ArchivePointers {
    std::int32_t ArchiveRead = 0;
    std::int32_t ArchiveWrite = 0;
    std::uint8_t ArchiveStatus = 0;  // bit 4: memory full

    bool Full() const { return (ArchiveStatus & 0x10) != 0; }
    static ArchivePointers Decode(const std::uint8_t* p, std::size_t length);  // 8 or 9 bytes
    void Encode(std::uint8_t* p) const;                                        // 9 bytes
};

struct DiagnosticState {
    std::uint8_t BatteryFlags = 0, Alarm1Flags = 0, Alarm2Flags = 0;
    std::uint8_t BatteryVoltageNow = 0, BatteryVoltageHistory = 0;

    static DiagnosticState Decode(const std::uint8_t* p);  // 5 bytes
    void Encode(std::uint8_t* p) const;
};

// The process-wide copy of the logger's type, serial number, parameter block
// and input information. Its 188-byte layout is that of the old ".par" file:
// type (2), reserved (2), serial (4), parameter block (128), input info (48),
// check sum (2, only in the file), reserved (2).
struct LoggerImage {
    std::uint16_t LoggerType = 0;
    std::array<std::uint8_t, 2> Reserved2{};
    std::int32_t SerialNumber = 0;
    ParameterBlock Parameters;
    InputInfoBlock InputInfo;

    // Only the low byte of the logger type is ever compared.
    std::uint8_t TypeByte() const { return static_cast<std::uint8_t>(LoggerType & 0xFF); }

    static LoggerImage Decode(const std::uint8_t* p);  // reads 184 bytes
    void Encode(std::uint8_t* p) const;                // writes 184 bytes
};

// Everything the program keeps of the logger between operations. The program
// owns one and hands it to the operations and windows that need it.
struct LoggerData {
    LoggerImage Image;
    ArchivePointers Pointers;
};

}  // namespace kolvex
