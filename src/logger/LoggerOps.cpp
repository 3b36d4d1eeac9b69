// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger/LoggerOps.h"

#include <array>
#include <cstring>

#include "link/Frames.h"
#include "link/SerCom.h"

namespace kolvex {

namespace {

// Decodes `bytes` into `target` whether or not the transfer completed, so that
// the pieces that arrived replace the old content and the rest stays.
template <typename Record, typename Transfer>
void FillPiecewise(Record& target, std::uint8_t* bytes, Transfer transfer) {
    try {
        transfer();
    } catch (...) {
        target = Record::Decode(bytes);
        throw;
    }
}

}  // namespace

IdentificationBlock LoggerOps::ReadIdentification() {
    std::uint8_t b[kIdentificationSize] = {};
    ReadLoggerMemory(port_, LoggerType(), area::Identification, 0, b, kIdentificationSize);
    return IdentificationBlock::Decode(b);
}

std::uint16_t LoggerOps::ReadLoggerType() {
    std::uint8_t b[2] = {};
    ReadLoggerMemory(port_, LoggerType(), area::Identification, 32, b, 2);
    data_.Image.LoggerType = GetU16(b);
    return data_.Image.LoggerType;
}

std::uint32_t LoggerOps::ReadSerialNumber() {
    std::uint8_t b[4] = {};
    ReadLoggerMemory(port_, LoggerType(), area::Identification, 34, b, 4);
    const std::uint32_t serial = GetU32(b);
    data_.Image.SerialNumber = static_cast<std::int32_t>(serial);
    return serial;
}

LoggerClock LoggerOps::ReadClock() {
    std::uint8_t b[kClockSize] = {};
    ReadLoggerMemory(port_, LoggerType(), area::Clock, 0, b, kClockSize);
    return LoggerClock::Decode(b);
}

void LoggerOps::WriteClock(const LoggerClock& clock) {
    std::uint8_t b[kClockSize];
    clock.Encode(b);
    WriteLoggerMemory(port_, LoggerType(), area::ClockWrite, 0, b, kClockSize);
}

void LoggerOps::WriteLoggerAddress(std::uint8_t address) {
    WriteLoggerMemory(port_, LoggerType(), area::BusAddressWrite, 0, &address, 1);
}

ArchivePointers LoggerOps::ReadArchivePointers(int length) {
    const std::uint16_t n = length >= 9 ? 9 : 8;
    std::uint8_t b[kArchivePointersSize] = {};
    data_.Pointers.Encode(b);
    try {
        ReadLoggerMemory(port_, LoggerType(), area::Pointers, 0, b, n);
    } catch (...) {
        data_.Pointers = ArchivePointers::Decode(b, kArchivePointersSize);
        throw;
    }
    const std::uint8_t keptStatus = data_.Pointers.ArchiveStatus;
    data_.Pointers = ArchivePointers::Decode(b, n);
    if (n == 8) data_.Pointers.ArchiveStatus = keptStatus;  // only 8 bytes read: status not refreshed
    return data_.Pointers;
}

void LoggerOps::WriteArchiveReadPointer(std::int32_t readPointer) {
    std::uint8_t b[4];
    PutI32(b, readPointer);
    WriteLoggerMemory(port_, LoggerType(), area::PointersWrite, 0, b, 4);
}

DiagnosticState LoggerOps::ReadDiagnostics() {
    std::uint8_t b[kDiagnosticSize] = {};
    ReadLoggerMemory(port_, LoggerType(), area::Pointers, 9, b, kDiagnosticSize);
    return DiagnosticState::Decode(b);
}

void LoggerOps::ClearDiagnostics() {
    std::uint8_t b[17];
    std::memset(b, 0xFF, sizeof b);
    b[0] = b[1] = b[2] = 0;
    const std::uint16_t n = data_.Image.TypeByte() > 3 ? 17 : 3;
    WriteLoggerMemory(port_, LoggerType(), area::PointersWrite, 9, b, n);
}

std::array<std::uint16_t, 2> LoggerOps::ReadCurrentValues() {
    std::uint8_t b[4] = {};
    ReadLoggerMemory(port_, LoggerType(), area::CurrentValues, 4, b, 4);
    return {GetU16(b), GetU16(b + 2)};
}

void LoggerOps::ReadInputInfo() {
    auto bytes = data_.Image.InputInfo.Bytes();
    FillPiecewise(data_.Image.InputInfo, bytes.data(), [&] {
        ReadLoggerMemory(port_, LoggerType(), area::InputInfo, 0, bytes.data(), 32);
        if (data_.Image.TypeByte() >= 3)
            ReadLoggerMemory(port_, LoggerType(), area::InputInfo, 32, bytes.data() + 32, 16);
    });
    if (FloatLayout()) {
        LoggerFloatToIeee(bytes.data() + 20, 2);
        LoggerFloatToIeee(bytes.data() + 32, 4);
    }
    data_.Image.InputInfo = InputInfoBlock::Decode(bytes.data());
}

void LoggerOps::ReadParameterBlock() {
    // Five frames of 32 bytes at 0, 32, 64, 96, 128; the fifth is dropped.
    std::array<std::uint8_t, 160> bytes{};
    const auto current = data_.Image.Parameters.Bytes();
    std::memcpy(bytes.data(), current.data(), current.size());
    FillPiecewise(data_.Image.Parameters, bytes.data(), [&] {
        for (std::uint32_t a = 0; a < 160; a += 32)
            ReadLoggerMemory(port_, LoggerType(), area::Parameters, a, bytes.data() + a, 32);
    });
    if (FloatLayout()) {
        LoggerFloatToIeee(bytes.data() + 48, 6);
        LoggerFloatToIeee(bytes.data() + 96, 6);
    }
    data_.Image.Parameters = ParameterBlock::Decode(bytes.data());
}

void LoggerOps::WriteArchiveControl(const ParameterBlock& block) {
    const auto bytes = block.Bytes();
    WriteLoggerMemory(port_, LoggerType(), area::ArchiveControlWrite, 0, bytes.data() + 1, 3);
}

void LoggerOps::WriteParameterBlock(const ParameterBlock& block) {
    auto copy = block.Bytes();
    if (FloatLayout()) {
        IeeeToLoggerFloat(copy.data() + 48, 6);
        IeeeToLoggerFloat(copy.data() + 96, 6);
    }
    // Bytes 4..127 at logger address = offset - 4: seven 16-byte pieces, then 12.
    for (std::uint32_t i = 0; i < 7; ++i)
        WriteLoggerMemory(port_, LoggerType(), area::ParameterWrite, 16 * i, copy.data() + 4 + 16 * i, 16);
    WriteLoggerMemory(port_, LoggerType(), area::ParameterWrite, 112, copy.data() + 116, 12);
}

void LoggerOps::ReadInputSection(int input) {
    const int n = input ? 1 : 0;
    auto bytes = data_.Image.Parameters.Bytes();
    const std::size_t offset = 44 + 48 * static_cast<std::size_t>(n);
    FillPiecewise(data_.Image.Parameters, bytes.data(), [&] {
        ReadLoggerMemory(port_, LoggerType(), area::InputSections, 12 + 48 * static_cast<std::uint32_t>(n),
                         bytes.data() + offset, 28);
    });
    if (FloatLayout()) LoggerFloatToIeee(bytes.data() + 48 + 48 * n, 6);
    data_.Image.Parameters = ParameterBlock::Decode(bytes.data());
}

InputTable LoggerOps::ReadInputTable(int input) {
    std::uint8_t b[kInputTableSize] = {};
    ReadLoggerMemory(port_, LoggerType(), static_cast<std::uint8_t>(area::InputTable1 + (input ? 1 : 0)), 0, b,
                     kInputTableSize);
    if (FloatLayout()) LoggerFloatToIeee(b, 32);
    return InputTable::Decode(b);
}

std::array<std::uint8_t, 256> LoggerOps::ReadArchiveMemory(std::uint32_t address) {
    std::array<std::uint8_t, 256> b{};
    ReadLoggerMemory(port_, LoggerType(), area::ArchiveMemory, address, b.data(), 256);
    return b;
}

void LoggerOps::EmptyArchive() {
    const ArchivePointers p = ReadArchivePointers(8);
    WriteArchiveReadPointer(p.ArchiveWrite);
}

}  // namespace kolvex
