// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Recording the live readings: the CSV columns and lines (the export's CSV
// format, through its line formatter), a file that takes one line per reading
// and hands each line to the operating system at once, and the small settings
// file of the live trend beside "kolvex12.cfg".

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/LiveTrend.h"
#include "output/WorkbookExport.h"

namespace kolvex {

// The time stamp, then one column per recorded input (its name and unit,
// its decimals).
std::vector<ExportColumn> LiveCsvColumns(const std::array<LiveInput, 2>& inputs, Lang language);
// One reading as a CSV line without the line break; a failed reading
// (`values` empty) leaves the value cells empty.
std::string LiveCsvLine(const std::array<LiveInput, 2>& inputs, double time,
                        const std::optional<std::array<double, 2>>& values, char decimalSeparator);

// Appends lines to a CSV file. A new or empty file first gets the byte-order
// mark and the heading; an existing one is continued. Every line is written
// with one system call as soon as it is given, so a crash loses nothing.
// Errors throw EADM naming the file and the operating system's reason.
class LiveCsvFile {
public:
    LiveCsvFile() = default;
    ~LiveCsvFile();
    LiveCsvFile(const LiveCsvFile&) = delete;
    LiveCsvFile& operator=(const LiveCsvFile&) = delete;

    void Open(const std::string& path, const std::string& heading);
    void Append(const std::string& line);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& Path() const { return path_; }
    std::uint64_t Lines() const { return lines_; }

private:
    void WriteAll(const std::string& bytes);

    int fd_ = -1;
    std::string path_;
    std::uint64_t lines_ = 0;
};

// The live trend's own settings, kept apart from the 344-byte configuration.
enum class TrendWindow { TenMinutes = 0, OneHour = 1, EightHours = 2, All = 3 };
// The visible span in days; 0 for the whole history.
double TrendWindowDays(TrendWindow w);

struct LiveSettings {
    TrendWindow Window = TrendWindow::OneHour;
    std::string RecordFile;  // the last file chosen for recording
};

// "kolvex12-live.ini" in the folder of the configuration file.
std::string LiveSettingsPath(const std::string& configPath);
// Lines "key=value"; unknown keys and bad values are ignored, a missing file
// gives the defaults. A file that is no regular file is refused (defaults,
// its message in *refusal when given).
LiveSettings LoadLiveSettings(const std::string& path, std::string* refusal = nullptr);
// False when the file could not be written.
bool SaveLiveSettings(const std::string& path, const LiveSettings& settings);

}  // namespace kolvex
