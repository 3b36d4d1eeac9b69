// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Turning the stored communication settings into a configured, open port.

#include <cstdint>
#include <string>

namespace kolvex {

class TSerCom;

// The communication fields of the configuration record.
struct CommSettings {
    std::string ComPort;            // an alias of at most 4 characters, or a device path
    std::uint8_t BusAddress = 255;
    std::int32_t TIdle = 20;        // ms, 10..10000 in steps of 10
    std::int32_t TSlot = 100;       // ms, 10..10000 in steps of 10
};

inline constexpr std::size_t kMaxPortNameLength = 4;

// The name as the settings keep it: an alias cut to 4 characters, a device
// path whole (the configuration file keeps it in its companion file).
std::string StoredPortName(const std::string& name);

// Defaults when there is no configuration file: enumerates the ports and takes
// the first one (empty when none), address 255, idle 20 ms, slot 100 ms.
void ApplyCommDefaults(TSerCom& port, CommSettings& settings);

// Enumerates the ports (the list "COM1".."COM4" when no real port exists),
// looks for ComPort in the list (ESetPC when it is not there; a device path
// is not looked up), writes the fixed
// line values and the times into the port and opens it (EComm on failure; the
// previously open port is closed first).
void ApplyCommSettings(TSerCom& port, CommSettings& settings);

// Opens a port for the command-line tool: like ApplyCommSettings, but the port
// may also be a full device path, which is not looked up in the list.
void OpenPortDirect(TSerCom& port, const std::string& name, std::int32_t idleMs, std::int32_t slotMs);

}  // namespace kolvex
