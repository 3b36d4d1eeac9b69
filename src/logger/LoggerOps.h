// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The named logger operations. Every conversation with the logger is one of
// these: a fixed command, address and length (sometimes several in a fixed
// order) and, on logger type 4, the float-layout conversion of exactly the
// fields that carry floats. Reads raise EComm, writes ENet; a failure in a
// later frame leaves the earlier frames' effects in place.

#include <array>
#include <cstdint>

#include "logger/Records.h"

namespace kolvex {

class TSerCom;

// Memory areas (read code; the write code has bit 7 set).
namespace area {
inline constexpr std::uint8_t Identification = 0x00;
inline constexpr std::uint8_t BusAddressWrite = 0x81;
inline constexpr std::uint8_t Clock = 0x08;
inline constexpr std::uint8_t ClockWrite = 0x88;
inline constexpr std::uint8_t Pointers = 0x09;
inline constexpr std::uint8_t PointersWrite = 0x89;
inline constexpr std::uint8_t CurrentValues = 0x10;
inline constexpr std::uint8_t InputInfo = 0x18;
inline constexpr std::uint8_t ArchiveControlWrite = 0x99;
inline constexpr std::uint8_t ParameterWrite = 0x9A;
inline constexpr std::uint8_t InputSections = 0x1B;
inline constexpr std::uint8_t Parameters = 0x21;
inline constexpr std::uint8_t ArchiveMemory = 0x23;
inline constexpr std::uint8_t InputTable1 = 0x28;
}  // namespace area

class LoggerOps {
public:
    LoggerOps(TSerCom& port, LoggerData& data) : port_(port), data_(data) {}

    TSerCom& Port() { return port_; }
    LoggerData& Data() { return data_; }
    std::uint16_t LoggerType() const { return data_.Image.LoggerType; }

    IdentificationBlock ReadIdentification();
    // Sets the shared LoggerType; on failure it keeps its value.
    std::uint16_t ReadLoggerType();
    // Also stored as the image's serial number.
    std::uint32_t ReadSerialNumber();
    LoggerClock ReadClock();
    void WriteClock(const LoggerClock& clock);
    void WriteLoggerAddress(std::uint8_t address);
    // length 8 or 9; fills the shared copy.
    ArchivePointers ReadArchivePointers(int length);
    void WriteArchiveReadPointer(std::int32_t readPointer);
    DiagnosticState ReadDiagnostics();
    void ClearDiagnostics();
    std::array<std::uint16_t, 2> ReadCurrentValues();
    void ReadInputInfo();       // into the shared InputInfoBlock
    void ReadParameterBlock();  // into the shared ParameterBlock
    void WriteArchiveControl(const ParameterBlock& block);
    void WriteParameterBlock(const ParameterBlock& block);
    // The logger's fixed unit and scaling of input n, into the shared block.
    void ReadInputSection(int input);
    InputTable ReadInputTable(int input);
    std::array<std::uint8_t, 256> ReadArchiveMemory(std::uint32_t address);
    // Read pointer := write pointer (8-byte pointer read first).
    void EmptyArchive();

private:
    bool FloatLayout() const { return data_.Image.TypeByte() == 4; }

    TSerCom& port_;
    LoggerData& data_;
};

}  // namespace kolvex
