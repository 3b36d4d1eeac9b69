// SPDX-License-Identifier: GPL-3.0-or-later
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
//
// Each record's byte layout is written once, as a walk over its fields with
// their offsets (Fields below). Decoding runs the walk with a reader that
// fills each member from the bytes, encoding with a writer that puts each
// member into them, so the two directions cannot drift apart.

namespace {

// Fills members from little-endian bytes. Fields that end beyond Length are
// left as they are (a short reply of the archive pointers).
struct FieldReader {
    const std::uint8_t* P;
    std::size_t Length = static_cast<std::size_t>(-1);

    FieldReader At(std::size_t offset) const {
        return {P + offset, Length > offset ? Length - offset : 0};
    }
    bool Fits(std::size_t offset, std::size_t size) const { return offset + size <= Length; }

    void operator()(std::size_t o, std::uint8_t& v) const { if (Fits(o, 1)) v = P[o]; }
    void operator()(std::size_t o, std::uint16_t& v) const { if (Fits(o, 2)) v = GetU16(P + o); }
    void operator()(std::size_t o, std::int16_t& v) const { if (Fits(o, 2)) v = GetI16(P + o); }
    void operator()(std::size_t o, std::uint32_t& v) const { if (Fits(o, 4)) v = GetU32(P + o); }
    void operator()(std::size_t o, std::int32_t& v) const { if (Fits(o, 4)) v = GetI32(P + o); }
    void operator()(std::size_t o, float& v) const { if (Fits(o, 4)) v = GetF32(P + o); }
    template <std::size_t N>
    void operator()(std::size_t o, std::array<std::uint8_t, N>& v) const {
        if (Fits(o, N)) std::memcpy(v.data(), P + o, N);
    }
};

// Puts members into little-endian bytes.
struct FieldWriter {
    std::uint8_t* P;

    FieldWriter At(std::size_t offset) const { return {P + offset}; }

    void operator()(std::size_t o, std::uint8_t v) const { P[o] = v; }
    void operator()(std::size_t o, std::uint16_t v) const { PutU16(P + o, v); }
    void operator()(std::size_t o, std::int16_t v) const { PutI16(P + o, v); }
    void operator()(std::size_t o, std::uint32_t v) const { PutU32(P + o, v); }
    void operator()(std::size_t o, std::int32_t v) const { PutI32(P + o, v); }
    void operator()(std::size_t o, float v) const { PutF32(P + o, v); }
    template <std::size_t N>
    void operator()(std::size_t o, const std::array<std::uint8_t, N>& v) const {
        std::memcpy(P + o, v.data(), N);
    }
};

// The layouts. R is the record or its const form, Io a reader or a writer.
template <class R, class Io>
void InputParametersFields(R& r, const Io& io) {
    io(0, r.InputName);
    io(12, r.UnitText);
    io(16, r.SignalLow);
    io(20, r.SignalHigh);
    io(24, r.RangeLow);
    io(28, r.RangeHigh);
    io(32, r.RecordOffset);
    io(36, r.RecordScale);
    io(40, r.AlarmLowRaw);
    io(42, r.AlarmHighRaw);
    io(44, r.Reserved44);
}

template <class R, class Io>
void ParameterBlockFields(R& r, const Io& io) {
    io(0, r.Reserved0);
    io(1, r.PeriodValue);
    io(2, r.PeriodUnit);
    io(3, r.ArchiveFlags);
    io(4, r.Reserved4);
    io(8, r.FileName);
    io(16, r.LoggerName);
    InputParametersFields(r.Input[0], io.At(32));
    InputParametersFields(r.Input[1], io.At(32 + kInputParametersSize));
}

template <class R, class Io>
void InputInfoBlockFields(R& r, const Io& io) {
    io(0, r.InputType[0]);
    io(1, r.InputType[1]);
    io(2, r.InputCaps[0]);
    io(3, r.InputCaps[1]);
    io(4, r.Reserved4);
    io(8, r.ArchiveSize);
    io(12, r.Reserved12);
    io(16, r.CalibrationTrim[0]);
    io(18, r.CalibrationTrim[1]);
    io(20, r.CalibrationFactor[0]);
    io(24, r.CalibrationFactor[1]);
    io(28, r.Reserved28);
    io(32, r.SensorLow[0]);
    io(36, r.SensorHigh[0]);
    io(40, r.SensorLow[1]);
    io(44, r.SensorHigh[1]);
}

// Sixteen (x, y) pairs, x first in each.
template <class R, class Io>
void InputTableFields(R& r, const Io& io) {
    for (std::size_t i = 0; i < 16; ++i) {
        io(8 * i, r.X[i]);
        io(8 * i + 4, r.Y[i]);
    }
}

template <class R, class Io>
void IdentificationBlockFields(R& r, const Io& io) {
    io(0, r.Manufacturer);
    io(16, r.Type);
    io(32, r.VersionMajor);
    io(33, r.VersionMinor);
    io(34, r.SerialNumber);
}

template <class R, class Io>
void LoggerClockFields(R& r, const Io& io) {
    io(0, r.Seconds);
    io(1, r.Minutes);
    io(2, r.Hours);
    io(3, r.DayOfWeek);
    io(4, r.Day);
    io(5, r.Month);
    io(6, r.Year);
    io(7, r.Reserved7);
}

template <class R, class Io>
void ArchivePointersFields(R& r, const Io& io) {
    io(0, r.ArchiveRead);
    io(4, r.ArchiveWrite);
    io(8, r.ArchiveStatus);
}

template <class R, class Io>
void DiagnosticStateFields(R& r, const Io& io) {
    io(0, r.BatteryFlags);
    io(1, r.Alarm1Flags);
    io(2, r.Alarm2Flags);
    io(3, r.BatteryVoltageNow);
    io(4, r.BatteryVoltageHistory);
}

template <class R, class Io>
void LoggerImageFields(R& r, const Io& io) {
    io(0, r.LoggerType);
    io(2, r.Reserved2);
    io(4, r.SerialNumber);
    ParameterBlockFields(r.Parameters, io.At(8));
    InputInfoBlockFields(r.InputInfo, io.At(8 + kParameterBlockSize));
}

}  // namespace

// Decode and Encode of every record: one walk, two directions.
#define KOLVEX_RECORD_CODEC(Record)                                                     \
    Record Record::Decode(const std::uint8_t* p) {                                      \
        Record r;                                                                       \
        Record##Fields(r, FieldReader{p});                                              \
        return r;                                                                       \
    }                                                                                   \
    void Record::Encode(std::uint8_t* p) const { Record##Fields(*this, FieldWriter{p}); }

KOLVEX_RECORD_CODEC(InputParameters)
KOLVEX_RECORD_CODEC(ParameterBlock)
KOLVEX_RECORD_CODEC(InputInfoBlock)
KOLVEX_RECORD_CODEC(InputTable)
KOLVEX_RECORD_CODEC(IdentificationBlock)
KOLVEX_RECORD_CODEC(LoggerClock)
KOLVEX_RECORD_CODEC(DiagnosticState)
KOLVEX_RECORD_CODEC(LoggerImage)
#undef KOLVEX_RECORD_CODEC

ArchivePointers ArchivePointers::Decode(const std::uint8_t* p, std::size_t length) {
    ArchivePointers r;
    ArchivePointersFields(r, FieldReader{p, length});
    return r;
}
void ArchivePointers::Encode(std::uint8_t* p) const { ArchivePointersFields(*this, FieldWriter{p}); }

std::string InputParameters::Name() const { return ReadFixedText(InputName.data(), InputName.size()); }
void InputParameters::SetName(std::string_view utf8) {
    WriteFixedText(InputName.data(), InputName.size(), utf8);
}
std::string InputParameters::Unit() const { return ReadFixedText(UnitText.data(), UnitText.size()); }
void InputParameters::SetUnit(std::string_view utf8) {
    WriteFixedText(UnitText.data(), UnitText.size(), utf8);
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

std::array<std::uint8_t, kParameterBlockSize> ParameterBlock::Bytes() const {
    std::array<std::uint8_t, kParameterBlockSize> b{};
    Encode(b.data());
    return b;
}

std::array<std::uint8_t, kInputInfoSize> InputInfoBlock::Bytes() const {
    std::array<std::uint8_t, kInputInfoSize> b{};
    Encode(b.data());
    return b;
}

std::string IdentificationBlock::ManufacturerText() const {
    return ReadFixedText(Manufacturer.data(), Manufacturer.size());
}
std::string IdentificationBlock::TypeText() const { return ReadFixedText(Type.data(), Type.size()); }

}  // namespace kolvex
