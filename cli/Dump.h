// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// kolvex12-cli dump TABLE [--json]: the fields and records of an archive
// table as CSV, or as JSON together with its parameter file.

#include <string>
#include <vector>

#include "cli/Commands.h"

namespace kolvex::cli {

int RunDump(const Options& options, const std::vector<std::string>& args);

// kolvex12-cli repair TABLE: a table cut short keeps its complete records and
// gets a true count; the original is kept as TABLE with ".dbfbak".
int RunRepair(const Options& options, const std::vector<std::string>& args);

}  // namespace kolvex::cli
