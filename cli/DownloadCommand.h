// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "cli/Commands.h"

namespace kolvex {
struct DownloadResult;
}

namespace kolvex::cli {

// download [--dir DIR] [--name-source param|serial] [--file PATH]
//          [--split year,month,week,day] [--mode bookmark|all] [--no-bookmark]
//          [--ext dbf|db] [--retries N] [--json]
// The result is also copied to `result`, and the error that ended it (empty
// when none) to `error`, when given.
// The download ends after the current step, as Abort does, on SIGTERM,
// SIGINT or SIGHUP once CatchStopSignals has run; the signal that came (0
// when none) and its name ("SIGTERM").
void CatchStopSignals();
int DownloadStopSignal();
std::string SignalName(int signo);

// The alarm excursions a download found in the records it read, one line
// each in the current language ("Teplota above 8.0 °C from … to … (25 min),
// extreme 9.1 °C"); their number is ExcursionLines(r).size().
std::vector<std::string> ExcursionLines(const DownloadResult& result);

int RunDownload(const Options& options, const std::vector<std::string>& args, DownloadResult* result = nullptr,
                std::string* error = nullptr);

}  // namespace kolvex::cli
