// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LiveRecording.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive/FileOps.h"
#include "base/Errors.h"
#include "base/SafeFile.h"
#include "base/ReadFile.h"

namespace kolvex {

namespace {

[[noreturn]] void RecordFailed(const std::string& path, int error) {
    const std::string why = FileErrorText(error);
    throw EADM(Tr("Do souboru " + path + " nelze zapisovat (" + why + ")",
                  "Cannot write to the file " + path + " (" + why + ")"));
}

}  // namespace

std::vector<ExportColumn> LiveCsvColumns(const std::array<LiveInput, 2>& inputs, Lang language) {
    std::vector<ExportColumn> columns;
    ExportColumn time;
    time.IsDateTime = true;
    time.Label = Tr(language, "Datum a čas", "Date and time");
    columns.push_back(time);
    for (const LiveInput& in : inputs) {
        if (!in.Recorded) continue;
        ExportColumn c;
        c.Label = in.Name;
        c.Unit = in.Unit;
        c.Decimals = in.Decimals;
        columns.push_back(c);
    }
    return columns;
}

std::string LiveCsvLine(const std::array<LiveInput, 2>& inputs, double time,
                        const std::optional<std::array<double, 2>>& values, char decimalSeparator) {
    std::vector<double> cells{time};
    std::vector<bool> isNull{false};
    for (std::size_t n = 0; n < 2; ++n) {
        if (!inputs[n].Recorded) continue;
        cells.push_back(values ? (*values)[n] : 0.0);
        isNull.push_back(!values);
    }
    return CsvRowText(LiveCsvColumns(inputs, Lang::English), cells, isNull, decimalSeparator);
}

// ---- the recording file ---------------------------------------------------------

LiveCsvFile::~LiveCsvFile() {
    if (fd_ >= 0) ::close(fd_);
}

void LiveCsvFile::Open(const std::string& path, const std::string& heading) {
    Close();
    // Never through a symbolic link, and only into a regular file.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) RecordFailed(path, errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int e = S_ISREG(st.st_mode) ? errno : EINVAL;
        ::close(fd);
        RecordFailed(path, e);
    }
    fd_ = fd;
    path_ = path;
    lines_ = 0;
    if (st.st_size == 0) {
        try {
            WriteAll("\xEF\xBB\xBF" + heading + "\r\n");
        } catch (...) {
            Close();
            throw;
        }
    }
}

void LiveCsvFile::Append(const std::string& line) {
    if (fd_ < 0) return;
    WriteAll(line + "\r\n");
    ++lines_;
}

void LiveCsvFile::Close() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

void LiveCsvFile::WriteAll(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            RecordFailed(path_, errno);
        }
        done += static_cast<std::size_t>(n);
    }
}

// ---- settings -------------------------------------------------------------------

double TrendWindowDays(TrendWindow w) {
    switch (w) {
        case TrendWindow::TenMinutes: return 10.0 / 1440.0;
        case TrendWindow::OneHour: return 1.0 / 24.0;
        case TrendWindow::EightHours: return 8.0 / 24.0;
        case TrendWindow::All: return 0.0;
    }
    return 0.0;
}

std::string LiveSettingsPath(const std::string& configPath) {
    return (std::filesystem::path(configPath).parent_path() / "kolvex12-live.ini").string();
}

LiveSettings LoadLiveSettings(const std::string& path, std::string* refusal) {
    LiveSettings s;
    const auto bytes = ReadRegularFile(path, 64 << 10, refusal);
    if (!bytes) return s;
    std::istringstream in(std::string(bytes->begin(), bytes->end()));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
        if (key == "window") {
            if (value == "10min") s.Window = TrendWindow::TenMinutes;
            else if (value == "1h") s.Window = TrendWindow::OneHour;
            else if (value == "8h") s.Window = TrendWindow::EightHours;
            else if (value == "all") s.Window = TrendWindow::All;
        } else if (key == "record_file") {
            s.RecordFile = value;
        }
    }
    return s;
}

bool SaveLiveSettings(const std::string& path, const LiveSettings& settings) {
    static const char* const names[] = {"10min", "1h", "8h", "all"};
    const std::string text = std::string("window=") + names[static_cast<int>(settings.Window)] + "\n" +
                             "record_file=" + settings.RecordFile + "\n";
    return WriteFileAtomic(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace kolvex
