// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The request/reply frame protocol: frames with start byte 0x5A, an additive
// check sum, the address-length table, block splitting by logger type and the
// reply checks. Reads raise EComm, writes ENet.

#include <cstddef>
#include <cstdint>

namespace kolvex {

class TSerCom;

inline constexpr std::uint8_t kFrameStart = 0x5A;

// Number of address bytes after the command code: -1 (not in the table), 0, 1, 2 or 4.
int AddressLength(std::uint8_t command);
// Sum of `count` bytes from `start`, modulo 256.
std::uint8_t FrameChecksum(const std::uint8_t* bytes, std::size_t start, std::size_t count);
// Largest data block of one frame: 128 bytes when the logger type's low byte is above 3, else 32.
std::size_t BlockSize(std::uint16_t loggerType);

// Builds a read request into `frame` (at least 11 bytes); returns its length.
std::size_t BuildReadFrame(std::uint8_t* frame, std::uint8_t loggerAddress, std::uint8_t command,
                           std::uint32_t address, std::uint8_t count);
// Builds a write request carrying `count` data bytes; returns its length.
std::size_t BuildWriteFrame(std::uint8_t* frame, std::uint8_t loggerAddress, std::uint8_t command,
                            std::uint32_t address, const std::uint8_t* data, std::uint8_t count);

// Reads `length` bytes of area `command` from `address`; blocks that arrived
// before a failure stay in `destination`. Throws EComm.
void ReadLoggerMemory(TSerCom& port, std::uint16_t loggerType, std::uint8_t command,
                      std::uint32_t address, std::uint8_t* destination, std::uint16_t length);
// Writes `length` bytes; blocks written before a failure stay written. Throws ENet.
void WriteLoggerMemory(TSerCom& port, std::uint16_t loggerType, std::uint8_t command,
                       std::uint32_t address, const std::uint8_t* source, std::uint16_t length);

}  // namespace kolvex
