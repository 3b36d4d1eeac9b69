// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// kolvex12-cli report TABLE [--from T] [--to T] [--lang cs|en]
// [--json | --out FILE.pdf] [--listing] [--delta-h K]: the summary of a period
// (statistics, alarm excursions, gaps, clock jumps, mean kinetic temperature)
// as text, as JSON, or as the printed report's summary page with its chart
// (and the listing after it with --listing).

#include <string>
#include <vector>

#include "cli/Commands.h"

namespace kolvex::cli {

int RunReport(const Options& options, const std::vector<std::string>& args);

}  // namespace kolvex::cli
