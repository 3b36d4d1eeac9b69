// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings of one logger of several: ~/.config/kolvex12/loggers/NAME.conf,
// in the format of the nightly service's settings (KEY=VALUE lines, "#"
// comments, a value optionally in double or single quotes), read by
// kolvex12-cli --config and listed by the desktop program.

#include <string>
#include <vector>

namespace kolvex {

struct LoggerSettings {
    std::string Name;  // the file's name without ".conf"
    std::string Port, Dir, Log, Split, NameSource, OnEvent, MailTo;
    bool Notify = false;
    std::vector<std::string> DownloadArgs, ExportArgs;  // split at white space
};

// Parses the text of the file named `name`; false with the line and what is
// wrong in `problem` ("line 3: unknown key KOLVEX_PROT").
bool ParseLoggerSettings(const std::string& name, const std::string& text, LoggerSettings& settings,
                         std::string* problem);

// The folder of the settings files: ~/.config/kolvex12/loggers (the units
// read it there); "" without a home folder.
std::string LoggerSettingsFolder();

// The folder of a logger's tables (KOLVEX_DIR, else loggers/NAME in the data
// folder) and its log (KOLVEX_LOG, else download.log there).
std::string LoggerTableFolder(const LoggerSettings& settings, const std::string& dataFolder);
std::string LoggerLogFile(const LoggerSettings& settings, const std::string& dataFolder);

// One configured logger as the desktop program lists it: the last line of
// its log gives the last run's time, outcome ("ok", "aborted: ...",
// "error: ...") and the number of alarm excursions ("excursions=N").
struct ConfiguredLogger {
    std::string Name, Port, LogFile;
    std::string LastRun, LastOutcome;  // empty when it has not run
    int LastExcursions = 0;            // alarm excursions in the last run's records
    std::string Problem;               // a settings file that cannot be read
};

// Every NAME.conf of `settingsFolder`, sorted by name.
std::vector<ConfiguredLogger> ListConfiguredLoggers(const std::string& settingsFolder, const std::string& dataFolder);

}  // namespace kolvex
