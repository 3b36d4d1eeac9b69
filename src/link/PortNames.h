// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Port names. The configuration file keeps a port name of at most four
// characters, so every port is named by a short alias:
//   "COM1".."COM9" = /dev/ttyS0..8 (old configuration files keep working),
//   "USB0".."USB9" = /dev/ttyUSB0..9, "ACM0".."ACM9" = /dev/ttyACM0..9,
//   "SIM"          = the built-in simulated logger.
// A full device path (for example a stable name under /dev/serial/by-id) is
// accepted wherever a port name is. The configuration file keeps such a port
// as the alias "DEV" and the path in a companion file beside it.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/PortText.h"

namespace kolvex {

inline constexpr const char* kSimulatedPort = "SIM";
// Where the system keeps the stable names of USB serial adapters.
inline constexpr const char* kSerialByIdFolder = "/dev/serial/by-id";

// Where the port name "SIM" leads. The link layer knows no simulator: a
// program that has one hands a source to each port object that may open it
// (TSerCom::SetSimulatedPort). Calling the source starts the simulated logger
// when it is not running and returns its device path (empty when it cannot).
using SimulatedPortSource = std::function<std::string()>;

// Device path of an alias (case-insensitive) or of a path starting with '/';
// nullopt for anything else. "SIM" resolves through `simulated` (nullopt
// without one).
std::optional<std::string> DeviceForPort(std::string_view name, const SimulatedPortSource& simulated = {});
// Alias of a device path ("/dev/ttyUSB0" -> "USB0"); nullopt when it has none.
std::optional<std::string> AliasForDevice(std::string_view device);

}  // namespace kolvex
