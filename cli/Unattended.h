// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a nightly download needs around the download itself: a lock so that
// two runs never talk to the same logger at once, and a log line per run.

#include <string>
#include <vector>

#include "cli/Commands.h"

namespace kolvex::cli {

// download with the options --log FILE and --lock-wait SECONDS taken out:
// holds the port's lock for the run (waiting up to SECONDS, default 30, for
// another run to finish; exit status 3 when it does not), then runs the
// download and appends one line to FILE whatever the outcome.
int RunDownloadLocked(const Options& options, const std::vector<std::string>& args);

// report-failure [--log FILE] [--on-event CMD] [--mail-to ADDR] [--notify]:
// run by the service manager when a download unit failed (the MONITOR_*
// variables say which and how). Raises the failure event unless the run
// itself already did (a line of FILE with the unit's invocation and a
// failed outcome), and logs it.
int ReportUnitFailure(const Options& options, const std::vector<std::string>& args);

// The name of a port's lock file: by the device it reaches, so that every
// spelling of one port shares one lock; "" for the simulated logger.
std::string PortLockName(const std::string& port);

}  // namespace kolvex::cli
