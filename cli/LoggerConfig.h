// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings file of one logger (see app/LoggerSettings.h) on the command line.

#include <string>
#include <vector>

#include "app/LoggerSettings.h"
#include "cli/Commands.h"

namespace kolvex::cli {

using LoggerConfig = LoggerSettings;

// Reads the file; UsageError names the file, the line and what is wrong.
LoggerConfig ReadLoggerConfig(const std::string& path);

// Applies it to a command line: the port unless --port was given; for
// download the options the command line does not give itself, the tables in
// the logger's own folder of the data folder (loggers/NAME) by default and
// the log there (download.log). Creates that folder when it is used.
void ApplyLoggerConfig(const LoggerConfig& config, Options& options, bool portGiven, std::vector<std::string>& args);

}  // namespace kolvex::cli
