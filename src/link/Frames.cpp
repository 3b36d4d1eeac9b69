// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/Frames.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "base/Errors.h"
#include "base/Language.h"
#include "link/LinkTrace.h"
#include "link/SerCom.h"

namespace kolvex {

int AddressLength(std::uint8_t command) {
    switch (command) {
        case 0x01: case 0x08: case 0x80: case 0x81: case 0x88:
            return 0;
        case 0x00: case 0x09: case 0x10:
        case 0x18: case 0x19: case 0x1A: case 0x1B:
        case 0x21: case 0x22: case 0x28: case 0x29:
        case 0x89:
        case 0x98: case 0x99: case 0x9A: case 0x9B:
        case 0xA1: case 0xA2: case 0xA8: case 0xA9:
            return 1;
        case 0x20:
            return 2;
        case 0x23:
            return 4;
        default:
            return -1;
    }
}

std::uint8_t FrameChecksum(const std::uint8_t* bytes, std::size_t start, std::size_t count) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += bytes[start + i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

std::size_t BlockSize(std::uint16_t loggerType) { return (loggerType & 0xFF) > 3 ? 128 : 32; }

namespace {

[[noreturn]] void RefuseCommand(std::uint8_t command) {
    // Codes outside the address-length table are never sent.
    throw EComm(Tr("Neznámý příkaz záznamníku " + std::to_string(command),
                   "Unknown logger command " + std::to_string(command)));
}

std::size_t PutAddress(std::uint8_t* frame, int a, std::uint32_t address) {
    for (int i = 0; i < a; ++i) frame[4 + i] = static_cast<std::uint8_t>(address >> (8 * i));
    return static_cast<std::size_t>(a);
}

}  // namespace

std::size_t BuildReadFrame(std::uint8_t* frame, std::uint8_t loggerAddress, std::uint8_t command,
                           std::uint32_t address, std::uint8_t count) {
    const int a = AddressLength(command);
    if (a < 0) RefuseCommand(command);
    frame[0] = kFrameStart;
    frame[2] = loggerAddress;
    frame[3] = command;
    std::size_t len = 4;
    if (a > 0) {
        PutAddress(frame, a, address);
        frame[4 + a] = count;
        len = 5 + static_cast<std::size_t>(a);
    }
    frame[1] = static_cast<std::uint8_t>(len);
    frame[len] = FrameChecksum(frame, 0, len);
    return len + 1;
}

std::size_t BuildWriteFrame(std::uint8_t* frame, std::uint8_t loggerAddress, std::uint8_t command,
                            std::uint32_t address, const std::uint8_t* data, std::uint8_t count) {
    const int a = AddressLength(command);
    if (a < 0) RefuseCommand(command);
    frame[0] = kFrameStart;
    frame[2] = loggerAddress;
    frame[3] = command;
    std::size_t pos = 4;
    if (a > 0) {
        pos += PutAddress(frame, a, address);
        frame[pos++] = count;
    }
    if (count) std::memcpy(frame + pos, data, count);
    pos += count;
    frame[1] = static_cast<std::uint8_t>(pos);
    frame[pos] = FrameChecksum(frame, 0, pos);
    return pos + 1;
}

namespace {

// What an exchange is for, in the trace.
void TraceExchange(const char* what, std::uint8_t command, std::uint32_t address, std::size_t block) {
    if (LinkTrace* t = CurrentLinkTrace()) {
        char b[96];
        std::snprintf(b, sizeof b, "area 0x%02X address %u length %zu", command, static_cast<unsigned>(address), block);
        t->Note(what, b);
    }
}

[[noreturn]] void TraceAndThrow(const EComm& e) {
    if (LinkTrace* t = CurrentLinkTrace()) t->Note("error", e.what());
    throw e;
}

void ReadBlock(TSerCom& port, std::uint8_t command, std::uint32_t address, std::uint8_t* destination,
               std::size_t block) {
    TraceExchange("read", command, address, block);
    std::size_t requestLength = BuildReadFrame(port.TxBuffer.data(), port.LoggerAddress, command, address,
                                               static_cast<std::uint8_t>(block));
    const std::size_t expected = block + 4;
    // A reply with a bad check sum is repeated like a lost one.
    const auto checkSumMatches = [](const std::uint8_t* r, std::size_t n) {
        return n > 0 && FrameChecksum(r, 0, n - 1) == r[n - 1];
    };
    const std::size_t n =
        port.Transact(port.TxBuffer.data(), requestLength, port.RxBuffer.data(), expected, checkSumMatches);
    const std::uint8_t* reply = port.RxBuffer.data();
    // These four texts are the same in both languages.
    if (n == 0) TraceAndThrow(EComm("Chyba komunikace - žádná odpověď"));
    if (n == 1) TraceAndThrow(EComm("Chyba komunikace - špatné parametry"));
    if (n != expected) TraceAndThrow(EComm("Chyba komunikace (Počet znaků)"));
    if (FrameChecksum(reply, 0, n - 1) != reply[n - 1]) TraceAndThrow(EComm("Chyba komunikace (FCS)"));
    std::memcpy(destination, reply + 3, block);
}

void WriteBlock(TSerCom& port, std::uint8_t command, std::uint32_t address, const std::uint8_t* data,
                std::size_t block) {
    TraceExchange("write", command, address, block);
    std::size_t requestLength = BuildWriteFrame(port.TxBuffer.data(), port.LoggerAddress, command, address,
                                                data, static_cast<std::uint8_t>(block));
    // The acknowledgement byte's value is not examined.
    port.Transact(port.TxBuffer.data(), requestLength, port.RxBuffer.data(), 1);
}

}  // namespace

void ReadLoggerMemory(TSerCom& port, std::uint16_t loggerType, std::uint8_t command, std::uint32_t address,
                      std::uint8_t* destination, std::uint16_t length) {
    if (AddressLength(command) < 0) RefuseCommand(command);
    std::size_t block = std::min<std::size_t>(BlockSize(loggerType), length);
    std::size_t offset = 0;
    std::size_t remaining = length;
    while (remaining > 0) {
        ReadBlock(port, command, address + static_cast<std::uint32_t>(offset), destination + offset, block);
        offset += block;
        remaining -= block;
        if (remaining < block) block = remaining;
    }
}

void WriteLoggerMemory(TSerCom& port, std::uint16_t loggerType, std::uint8_t command, std::uint32_t address,
                       const std::uint8_t* source, std::uint16_t length) {
    if (AddressLength(command) < 0) RefuseCommand(command);
    std::size_t block = std::min<std::size_t>(BlockSize(loggerType), length);
    std::size_t offset = 0;
    std::size_t remaining = length;
    while (remaining > 0) {
        try {
            WriteBlock(port, command, address + static_cast<std::uint32_t>(offset), source + offset, block);
        } catch (const std::exception& e) {
            if (LinkTrace* t = CurrentLinkTrace()) t->Note("error", std::string("write failed: ") + e.what());
            throw ENet(Tr("Parametry se nepodařilo nastavit", "Error: Parameters was not set-up"));
        }
        offset += block;
        remaining -= block;
        if (remaining < block) block = remaining;
    }
}

}  // namespace kolvex
