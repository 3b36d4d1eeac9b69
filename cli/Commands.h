// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The commands of kolvex12-cli, built on the same core as the desktop program.

#include <stdexcept>
#include <string>
#include <vector>

#include "link/PortNames.h"

namespace kolvex::cli {

struct Options {
    std::string Port;  // an alias, "SIM" or a device path
    int IdleMs = 20;
    int SlotMs = 100;
    int Language = 1;  // 0 Czech, 1 English
    bool Json = false;
    std::string Trace;  // --trace FILE: the communication record
    std::string LoggerName;  // the name of a --config file; empty: none
    SimulatedPortSource Simulated;  // where "SIM" leads; none: no "SIM"
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Runs args[0] with its arguments; returns the exit status. Errors of the
// logger link propagate as exceptions.
int Run(const Options& options, const std::vector<std::string>& args);

}  // namespace kolvex::cli
