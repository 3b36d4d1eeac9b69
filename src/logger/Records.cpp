#include "logger/Records.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "base/Cp1250.h"

namespace kolvex {

// ---- text, BCD, float layout ----------------------------------------------

std::string ReadFixedText(const std::uint8_t* field, std::size_t length) {
    std::size_t n = 0;
    while (n < length && field[n] != 0) ++n;
    return Cp1250ToUtf8(std::string_view(reinterpret_cast<const char*>(field), n));
}

void WriteFixedText(std::uint8_t* field, std::size_t length, std::string_view utf8) {
    // Every code page 1250 character is one byte, so cutting the encoded form
    // at the field length always cuts at a whole character.
    const std::string bytes = Utf8ToCp1250(utf8);
    const std::size_t n = std::min(bytes.size(), length);
    std::memcpy(field, bytes.data(), n);
    std::memset(field + n, 0, length - n);
}

std::uint8_t BcdToByte(std::uint8_t b) {
    return static_cast<std::uint8_t>((b & 0x0F) + 10 * (b >> 4));
}
std::uint8_t ByteToBcd(std::uint8_t v) {
    return static_cast<std::uint8_t>((v % 10) + 16 * (v / 10));
}

void LoggerFloatToIeee(std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* f = bytes + 4 * i;
        const std::uint8_t b2 = f[2], b3 = f[3];
        f[3] = static_cast<std::uint8_t>((b3 >> 1) | (b2 & 0x80));
        f[2] = static_cast<std::uint8_t>((b2 & 0x7F) | ((b3 & 0x01) ? 0x80 : 0x00));
    }
}

void IeeeToLoggerFloat(std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        std::uint8_t* f = bytes + 4 * i;
        const std::uint8_t b2 = f[2], b3 = f[3];
        f[3] = static_cast<std::uint8_t>(((b3 << 1) & 0xFF) | ((b2 & 0x80) ? 0x01 : 0x00));
        f[2] = static_cast<std::uint8_t>((b2 & 0x7F) | (b3 & 0x80));
    }
}

// ---- records --------------------------------------------------------------

namespace {
template <std::size_t N>
void CopyIn(std::array<std::uint8_t, N>& dst, const std::uint8_t* src) {
    std::memcpy(dst.data(), src, N);
}
template <std::size_t N>
void CopyOut(std::uint8_t* dst, const std::array<std::uint8_t, N>& src) {
    std::memcpy(dst, src.data(), N);
}
}  // namespace

std::string InputParameters::Name() const { return ReadFixedText(InputName.data(), InputName.size()); }
void InputParameters::SetName(std::string_view utf8) {
    WriteFixedText(InputName.data(), InputName.size(), utf8);
}
std::string InputParameters::Unit() const { return ReadFixedText(UnitText.data(), UnitText.size()); }
void InputParameters::SetUnit(std::string_view utf8) {
    WriteFixedText(UnitText.data(), UnitText.size(), utf8);
}

InputParameters InputParameters::Decode(const std::uint8_t* p) {
    InputParameters r;
    CopyIn(r.InputName, p + 0);
    CopyIn(r.UnitText, p + 12);
    r.SignalLow = GetF32(p + 16);
    r.SignalHigh = GetF32(p + 20);
    r.RangeLow = GetF32(p + 24);
    r.RangeHigh = GetF32(p + 28);
    r.RecordOffset = GetF32(p + 32);
    r.RecordScale = GetF32(p + 36);
    r.AlarmLowRaw = GetU16(p + 40);
    r.AlarmHighRaw = GetU16(p + 42);
    CopyIn(r.Reserved44, p + 44);
    return r;
}

void InputParameters::Encode(std::uint8_t* p) const {
    CopyOut(p + 0, InputName);
    CopyOut(p + 12, UnitText);
    PutF32(p + 16, SignalLow);
    PutF32(p + 20, SignalHigh);
    PutF32(p + 24, RangeLow);
    PutF32(p + 28, RangeHigh);
    PutF32(p + 32, RecordOffset);
    PutF32(p + 36, RecordScale);
    PutU16(p + 40, AlarmLowRaw);
    PutU16(p + 42, AlarmHighRaw);
    CopyOut(p + 44, Reserved44);
}

std::string ParameterBlock::File() const { return ReadFixedText(FileName.data(), FileName.size()); }
void ParameterBlock::SetFile(std::string_view utf8) {
    WriteFixedText(FileName.data(), FileName.size(), utf8);
}
std::string ParameterBlock::Logger() const {
    return ReadFixedText(LoggerName.data(), LoggerName.size());
}
void ParameterBlock::SetLogger(std::string_view utf8) {
    WriteFixedText(LoggerName.data(), LoggerName.size(), utf8);
}

ParameterBlock ParameterBlock::Decode(const std::uint8_t* p) {
    ParameterBlock r;
    r.Reserved0 = p[0];
    r.PeriodValue = p[1];
    r.PeriodUnit = p[2];
    r.ArchiveFlags = p[3];
    CopyIn(r.Reserved4, p + 4);
    CopyIn(r.FileName, p + 8);
    CopyIn(r.LoggerName, p + 16);
    r.Input[0] = InputParameters::Decode(p + 32);
    r.Input[1] = InputParameters::Decode(p + 32 + kInputParametersSize);
    return r;
}

void ParameterBlock::Encode(std::uint8_t* p) const {
    p[0] = Reserved0;
    p[1] = PeriodValue;
    p[2] = PeriodUnit;
    p[3] = ArchiveFlags;
    CopyOut(p + 4, Reserved4);
    CopyOut(p + 8, FileName);
    CopyOut(p + 16, LoggerName);
    Input[0].Encode(p + 32);
    Input[1].Encode(p + 32 + kInputParametersSize);
}

std::array<std::uint8_t, kParameterBlockSize> ParameterBlock::Bytes() const {
    std::array<std::uint8_t, kParameterBlockSize> b{};
    Encode(b.data());
    return b;
}

InputInfoBlock InputInfoBlock::Decode(const std::uint8_t* p) {
    InputInfoBlock r;
    r.InputType[0] = p[0];
    r.InputType[1] = p[1];
    r.InputCaps[0] = p[2];
    r.InputCaps[1] = p[3];
    CopyIn(r.Reserved4, p + 4);
    r.ArchiveSize = GetU32(p + 8);
    CopyIn(r.Reserved12, p + 12);
    r.CalibrationTrim[0] = GetI16(p + 16);
    r.CalibrationTrim[1] = GetI16(p + 18);
    r.CalibrationFactor[0] = GetF32(p + 20);
    r.CalibrationFactor[1] = GetF32(p + 24);
    CopyIn(r.Reserved28, p + 28);
    r.SensorLow[0] = GetF32(p + 32);
    r.SensorHigh[0] = GetF32(p + 36);
    r.SensorLow[1] = GetF32(p + 40);
    r.SensorHigh[1] = GetF32(p + 44);
    return r;
}

void InputInfoBlock::Encode(std::uint8_t* p) const {
    p[0] = InputType[0];
    p[1] = InputType[1];
    p[2] = InputCaps[0];
    p[3] = InputCaps[1];
    CopyOut(p + 4, Reserved4);
    PutU32(p + 8, ArchiveSize);
    CopyOut(p + 12, Reserved12);
    PutI16(p + 16, CalibrationTrim[0]);
    PutI16(p + 18, CalibrationTrim[1]);
    PutF32(p + 20, CalibrationFactor[0]);
    PutF32(p + 24, CalibrationFactor[1]);
    CopyOut(p + 28, Reserved28);
    PutF32(p + 32, SensorLow[0]);
    PutF32(p + 36, SensorHigh[0]);
    PutF32(p + 40, SensorLow[1]);
    PutF32(p + 44, SensorHigh[1]);
}

std::array<std::uint8_t, kInputInfoSize> InputInfoBlock::Bytes() const {
    std::array<std::uint8_t, kInputInfoSize> b{};
    Encode(b.data());
    return b;
}

InputTable InputTable::Decode(const std::uint8_t* p) {
    InputTable r;
    for (int i = 0; i < 16; ++i) {
        r.X[i] = GetF32(p + 8 * i);
        r.Y[i] = GetF32(p + 8 * i + 4);
    }
    return r;
}

void InputTable::Encode(std::uint8_t* p) const {
    for (int i = 0; i < 16; ++i) {
        PutF32(p + 8 * i, X[i]);
        PutF32(p + 8 * i + 4, Y[i]);
    }
}

std::string IdentificationBlock::ManufacturerText() const {
    return ReadFixedText(Manufacturer.data(), Manufacturer.size());
}
std::string IdentificationBlock::TypeText() const { return ReadFixedText(Type.data(), Type.size()); }

IdentificationBlock IdentificationBlock::Decode(const std::uint8_t* p) {
    IdentificationBlock r;
    CopyIn(r.Manufacturer, p + 0);
    CopyIn(r.Type, p + 16);
    r.VersionMajor = p[32];
    r.VersionMinor = p[33];
    r.SerialNumber = GetU32(p + 34);
    return r;
}

void IdentificationBlock::Encode(std::uint8_t* p) const {
    CopyOut(p + 0, Manufacturer);
    CopyOut(p + 16, Type);
    p[32] = VersionMajor;
    p[33] = VersionMinor;
    PutU32(p + 34, SerialNumber);
}

LoggerClock LoggerClock::Decode(const std::uint8_t* p) {
    LoggerClock r;
    r.Seconds = p[0];
    r.Minutes = p[1];
    r.Hours = p[2];
    r.DayOfWeek = p[3];
    r.Day = p[4];
    r.Month = p[5];
    r.Year = p[6];
    r.Reserved7 = p[7];
    return r;
}

void LoggerClock::Encode(std::uint8_t* p) const {
    p[0] = Seconds;
    p[1] = Minutes;
    p[2] = Hours;
    p[3] = DayOfWeek;
    p[4] = Day;
    p[5] = Month;
    p[6] = Year;
    p[7] = Reserved7;
}

ArchivePointers ArchivePointers::Decode(const std::uint8_t* p, std::size_t length) {
    ArchivePointers r;
    if (length >= 4) r.ArchiveRead = GetI32(p + 0);
    if (length >= 8) r.ArchiveWrite = GetI32(p + 4);
    if (length >= 9) r.ArchiveStatus = p[8];
    return r;
}

void ArchivePointers::Encode(std::uint8_t* p) const {
    PutI32(p + 0, ArchiveRead);
    PutI32(p + 4, ArchiveWrite);
    p[8] = ArchiveStatus;
}

DiagnosticState DiagnosticState::Decode(const std::uint8_t* p) {
    DiagnosticState r;
    r.BatteryFlags = p[0];
    r.Alarm1Flags = p[1];
    r.Alarm2Flags = p[2];
    r.BatteryVoltageNow = p[3];
    r.BatteryVoltageHistory = p[4];
    return r;
}

void DiagnosticState::Encode(std::uint8_t* p) const {
    p[0] = BatteryFlags;
    p[1] = Alarm1Flags;
    p[2] = Alarm2Flags;
    p[3] = BatteryVoltageNow;
    p[4] = BatteryVoltageHistory;
}

LoggerImage LoggerImage::Decode(const std::uint8_t* p) {
    LoggerImage r;
    r.LoggerType = GetU16(p + 0);
    CopyIn(r.Reserved2, p + 2);
    r.SerialNumber = GetI32(p + 4);
    r.Parameters = ParameterBlock::Decode(p + 8);
    r.InputInfo = InputInfoBlock::Decode(p + 8 + kParameterBlockSize);
    return r;
}

void LoggerImage::Encode(std::uint8_t* p) const {
    PutU16(p + 0, LoggerType);
    CopyOut(p + 2, Reserved2);
    PutI32(p + 4, SerialNumber);
    Parameters.Encode(p + 8);
    InputInfo.Encode(p + 8 + kParameterBlockSize);
}

}  // namespace kolvex
