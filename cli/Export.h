// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// kolvex12-cli export TABLE --out FILE.xlsx|FILE.csv|FILE.pdf [--from T] [--to T]
// [--step 10min|1h|...] [--lang cs|en]: the export dialog's workbook or CSV,
// or the printed listing as PDF, written without the desktop.

#include <memory>
#include <string>
#include <vector>

#include "cli/Commands.h"

class QApplication;

namespace kolvex::cli {

int RunExport(const Options& options, const std::vector<std::string>& args);

// Seconds of a step written "5s", "10sec", "10min", "1h", "2hod", "1d", "1den";
// only the steps the dialogs offer. 0 for "all" (every record); -1 when unknown.
int ParseStep(const std::string& text);

// "YYYY-MM-DD hh:mm:ss" or "YYYY-MM-DD" (midnight; with `endOfDay` the end of
// that day); UsageError otherwise.
double ParseTimeArgument(const std::string& text, bool endOfDay);

// Qt's painter draws a PDF without a display: the application object the
// painting needs, or null when one is already there.
std::unique_ptr<QApplication> PainterApp();

}  // namespace kolvex::cli
