#pragma once
// The settings file of one logger (~/.config/kolvex12/loggers/NAME.conf),
// the format of the nightly service's settings: KEY=VALUE lines, "#"
// comments, a value optionally in double or single quotes.

#include <string>
#include <vector>

#include "cli/Commands.h"

namespace kolvex::cli {

struct LoggerConfig {
    std::string Name;  // the file's name without ".conf"
    std::string Port, Dir, Log, Split, NameSource, OnEvent, MailTo;
    bool Notify = false;
    std::vector<std::string> DownloadArgs, ExportArgs;  // split at white space
};

// Reads the file; UsageError names the file, the line and what is wrong.
LoggerConfig ReadLoggerConfig(const std::string& path);

// Applies it to a command line: the port unless --port was given; for
// download the options the command line does not give itself, the tables in
// the logger's own folder of the data folder (loggers/NAME) by default and
// the log there (download.log). Creates that folder when it is used.
void ApplyLoggerConfig(const LoggerConfig& config, Options& options, bool portGiven, std::vector<std::string>& args);

}  // namespace kolvex::cli
