// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Unattended.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <sstream>
#include <thread>

#include "base/Language.h"
#include "archive/Download.h"
#include "cli/DownloadCommand.h"
#include "base/LockFile.h"
#include "base/PortText.h"
#include "base/SafeFile.h"
#include "archive/TableLock.h"
#include "link/NetPort.h"
#include "link/PortNames.h"

namespace kolvex::cli {

namespace {

class PortLock {
public:
    PortLock(const std::string& port, int waitSeconds) {
        const std::string name = PortLockName(port);
        if (name.empty()) return;  // the simulated logger of this process is ours alone
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
        for (;;) {
            std::string holder;
            try {
                lock_ = LockFile::TryTake(name, &holder);
            } catch (const std::exception& e) {
                throw Failed(e.what());
            }
            if (lock_) return;
            if (std::chrono::steady_clock::now() >= until || DownloadStopSignal())
                throw Failed(Tr("Se záznamníkem na portu  " + port + "  právě komunikuje jiný běh programu (" + holder +
                                    "); po " + std::to_string(waitSeconds) + " s čekání končím",
                                "Another run is talking to the logger on port  " + port + " (" + holder +
                                    "); gave up after " + std::to_string(waitSeconds) + " s of waiting"));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;

    struct Failed : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

private:
    std::unique_ptr<LockFile> lock_;
};

std::string Now() {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S%z", &tm);
    return buf;
}

// One line, fields separated by tabs: time, port, records read, then
// per file "path=records added", and "ok", "aborted" or "error: message".
std::string LogLine(const std::string& port, const DownloadResult* r, const std::string& outcome) {
    std::ostringstream os;
    os << Now() << "\tport=" << port << "\tread=" << (r ? r->Records : 0);
    std::uint64_t stored = 0;
    if (r)
        for (const auto& f : r->Files) stored += f.RecordsAdded;
    os << "\tstored=" << stored << "\talready=" << (r ? r->AlreadyStored() : 0) << "\tfiles=";
    if (r)
        for (std::size_t i = 0; i < r->Files.size(); ++i)
            os << (i ? "," : "") << r->Files[i].Path << ":" << r->Files[i].RecordsAdded;
    // The logger's clock against the PC's, seconds (empty when not read).
    os << "\tdrift=";
    if (r && r->Drift && r->Drift->Valid) os << (r->Drift->Seconds > 0 ? "+" : "") << r->Drift->Seconds;
    else if (r && r->Drift) os << "invalid";
    os << "\t" << outcome;
    std::string line = os.str();
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    return line;
}

void AppendLog(const std::string& file, const std::string& line) {
    // Appended to a regular file only, never through a symbolic link.
    UniqueFd fd(::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    int problem = fd ? 0 : errno;
    struct stat st {};
    if (fd && (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))) problem = EINVAL;
    const std::string text = line + "\n";
    if (!problem && ::write(fd.Get(), text.data(), text.size()) != static_cast<ssize_t>(text.size())) problem = errno;
    if (!problem && !fd.Close()) problem = errno;
    if (problem)
        std::cerr << Tr("Záznam do  " + file + "  nelze zapsat: ", "The log  " + file + "  cannot be written: ")
                  << FileErrorText(problem) << "\n";
}

}  // namespace

std::string PortLockName(const std::string& port) {
    if (SamePortName(port, kSimulatedPort)) return "";
    if (IsNetworkPort(port)) {
        std::string lower;
        for (unsigned char c : port) lower += static_cast<char>(std::tolower(c));
        return LockNameForDevice(lower);
    }
    // An alias and every path of one device (by-id links included) resolve
    // to the same device number.
    const auto device = IsDevicePath(port) ? std::optional<std::string>(port) : DeviceForPort(port);
    return LockNameForDevice(device ? *device : port);
}

int RunDownloadLocked(const Options& o, const std::vector<std::string>& args) {
    std::vector<std::string> rest;
    std::string log;
    int wait = 30;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0 && (args[i] == "--log" || args[i] == "--lock-wait")) {
            if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
            if (args[i] == "--log") {
                log = args[++i];
            } else {
                char* end = nullptr;
                const long v = std::strtol(args[++i].c_str(), &end, 10);
                if (args[i].empty() || *end || v < 0 || v > 86400) throw UsageError("--lock-wait needs 0..86400 seconds");
                wait = static_cast<int>(v);
            }
            continue;
        }
        rest.push_back(args[i]);
    }

    // Another writer of a target table is waited for as long as for the port.
    SetTableLockWait(wait);
    SetTableBusyHandler([wait](const std::string&, const std::string&, double waited) {
        if (DownloadStopSignal() || waited >= wait) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return true;
    });
    CatchStopSignals();
    auto stopped = [&](const DownloadResult* r) {
        const int sig = DownloadStopSignal();
        if (!log.empty()) AppendLog(log, LogLine(o.Port, r, "aborted: signal " + SignalName(sig)));
        return 128 + sig;
    };

    std::optional<PortLock> lock;
    try {
        lock.emplace(o.Port, wait);
    } catch (const PortLock::Failed& e) {
        if (DownloadStopSignal()) return stopped(nullptr);
        std::cerr << e.what() << "\n";
        if (!log.empty()) AppendLog(log, LogLine(o.Port, nullptr, std::string("error: ") + e.what()));
        return 3;
    }
    DownloadResult result;
    try {
        std::string error;
        const int status = RunDownload(o, rest, &result, &error);
        if (DownloadStopSignal()) return stopped(&result);
        if (!log.empty()) {
            std::string outcome = "ok";
            if (!error.empty()) outcome = "error: " + error;
            else if (!result.BookmarkError.empty()) outcome = "error: " + result.BookmarkError;
            else if (result.Aborted) outcome = "aborted: " + result.AbortReason;
            AppendLog(log, LogLine(o.Port, &result, outcome));
        }
        return status;
    } catch (const UsageError&) {
        throw;
    } catch (const std::exception& e) {
        if (DownloadStopSignal()) return stopped(&result);
        if (!log.empty()) AppendLog(log, LogLine(o.Port, &result, std::string("error: ") + e.what()));
        throw;
    }
}

}  // namespace kolvex::cli
