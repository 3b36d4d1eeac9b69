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

// Device path of an alias (case-insensitive) or of a path starting with '/';
// nullopt for anything else. "SIM" resolves through the simulated-port provider.
std::optional<std::string> DeviceForPort(std::string_view name);
// Alias of a device path ("/dev/ttyUSB0" -> "USB0"); nullopt when it has none.
std::optional<std::string> AliasForDevice(std::string_view device);

// The program that links the simulator installs a provider that starts the
// built-in simulated logger on first use and returns its device path.
using SimulatedPortProvider = std::function<std::string()>;
void SetSimulatedPortProvider(SimulatedPortProvider provider);
bool HasSimulatedPort();

}  // namespace kolvex
