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
#include "app/Alerts.h"
#include "logger/LoggerAudit.h"
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
    os << "\texcursions=" << (r ? ExcursionLines(*r).size() : 0);
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

std::string OneLogField(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    return s;
}

// --on-event CMD, --mail-to ADDR, --notify at args[i]; false for another option.
bool ChannelOption(const std::vector<std::string>& args, std::size_t& i, AlertChannels& channels) {
    if (args[i] == "--notify") {
        channels.Notify = true;
        return true;
    }
    if (args[i] != "--on-event" && args[i] != "--mail-to") return false;
    if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
    if (args[i] == "--on-event") {
        channels.Command = args[++i];
        if (channels.Command.empty()) throw UsageError("--on-event needs a command");
    } else {
        channels.MailTo = args[++i];
        if (!UsableMailAddress(channels.MailTo))
            throw UsageError("--mail-to needs one mail address (name@host), got " + channels.MailTo);
    }
    return true;
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
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

namespace {

// The options of an unattended download that are not the download's own.
struct UnattendedArgs {
    std::vector<std::string> Rest;  // the download's arguments
    std::string Log;
    int Wait = 30;
    AlertChannels Channels;
};

UnattendedArgs ParseUnattendedArgs(const std::vector<std::string>& args) {
    UnattendedArgs u;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0 && ChannelOption(args, i, u.Channels)) continue;
        if (i > 0 && (args[i] == "--log" || args[i] == "--lock-wait")) {
            if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
            if (args[i] == "--log") {
                u.Log = args[++i];
            } else {
                char* end = nullptr;
                const long v = std::strtol(args[++i].c_str(), &end, 10);
                if (args[i].empty() || *end || v < 0 || v > 86400) throw UsageError("--lock-wait needs 0..86400 seconds");
                u.Wait = static_cast<int>(v);
            }
            continue;
        }
        u.Rest.push_back(args[i]);
    }
    return u;
}

// An event of a run: who, when, and what the run read and stored (when it got that far).
AlertEvent RunEvent(const char* kind, const std::string& logger, const std::string& port, const DownloadResult* r) {
    AlertEvent e;
    e.Kind = kind;
    e.Logger = logger;
    e.Port = port;
    e.Time = Now();
    if (r) {
        e.RecordsRead = r->Records;
        e.RecordsStored = r->RecordsAdded();
        for (const auto& f : r->Files) e.Files.push_back(f.Path);
    }
    return e;
}

std::optional<AlertEvent> FailureEvent(const std::string& logger, const std::string& port, const DownloadResult* r,
                                       const std::string& outcome) {
    if (outcome == "ok") return std::nullopt;
    AlertEvent e = RunEvent("failure", logger, port, r);
    e.Reason = outcome.substr(outcome.find(": ") == std::string::npos ? 0 : outcome.find(": ") + 2);
    e.Summary = FailureSummary(logger, port, e.Reason, CurrentLanguage());
    return e;
}

// Alarm excursions in the records read: one event listing them all.
std::optional<AlertEvent> ExcursionEvent(const std::string& logger, const std::string& port, const DownloadResult* r) {
    if (!r) return std::nullopt;
    const auto lines = ExcursionLines(*r);
    if (lines.empty()) return std::nullopt;
    AlertEvent e = RunEvent("excursion", logger, port, r);
    e.Summary = Tr("kolvex12: záznamník  " + logger + "  byl mimo meze (" + std::to_string(lines.size()) + "×)",
                   "kolvex12: logger  " + logger + "  went beyond its alarm limits (" + std::to_string(lines.size()) +
                       "×)");
    e.Details = lines;
    return e;
}

// A clock drift above the limit is told too, also after a good run.
std::optional<AlertEvent> DriftEvent(const std::string& logger, const std::string& port, const DownloadResult* r) {
    if (!r || !r->Drift || !r->Drift->Exceeded()) return std::nullopt;
    AlertEvent e = RunEvent("drift", logger, port, r);
    const std::string seconds = std::to_string(r->Drift->Seconds);
    e.Summary = r->Drift->Valid
                    ? Tr("kolvex12: hodiny záznamníku  " + logger + "  se odchylují od PC o " + seconds + " s",
                         "kolvex12: the clock of logger  " + logger + "  is " + seconds + " s off the PC's")
                    : Tr("kolvex12: hodiny záznamníku  " + logger + "  neudávají platný čas",
                         "kolvex12: the clock of logger  " + logger + "  holds no valid time");
    e.Details.push_back(Tr("Záznamník: ", "Logger: ") + r->Drift->LoggerText);
    e.Details.push_back(Tr("Odchylka (záznamník − PC): ", "Drift (logger − PC): ") + seconds + " s");
    return e;
}

// The end of every run: one failure event when it did not complete, the
// excursion and drift events, then the log line, which also tells of a
// channel that failed.
void FinishRun(const Options& o, const UnattendedArgs& u, const DownloadResult* r, const std::string& outcome) {
    const std::string logger = o.LoggerName.empty() ? o.Port : o.LoggerName;
    std::string line = LogLine(o.Port, r, outcome);
    if (!o.LoggerName.empty()) line += "\tlogger=" + OneLogField(o.LoggerName);
    if (const char* id = std::getenv("INVOCATION_ID"); id && *id) line += "\tinvocation=" + OneLogField(id);
    auto send = [&](const std::optional<AlertEvent>& e) {
        if (!e) return;
        for (const auto& problem : SendAlert(*e, u.Channels, CurrentLanguage())) {
            std::cerr << problem << "\n";
            line += "\tchannel-error: " + OneLogField(problem);
        }
    };
    if (u.Channels.Any()) {
        send(FailureEvent(logger, o.Port, r, outcome));
        send(ExcursionEvent(logger, o.Port, r));
        send(DriftEvent(logger, o.Port, r));
    }
    if (!u.Log.empty()) AppendLog(u.Log, line);
}

}  // namespace

int RunDownloadLocked(const Options& o, const std::vector<std::string>& args) {
    const UnattendedArgs u = ParseUnattendedArgs(args);
    const int wait = u.Wait;

    // Another writer of a target table is waited for as long as for the port.
    SetTableLockWait(wait);
    SetTableBusyHandler([wait](const std::string&, const std::string&, double waited) {
        if (DownloadStopSignal() || waited >= wait) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return true;
    });
    CatchStopSignals();

    auto finish = [&](const DownloadResult* r, const std::string& outcome) { FinishRun(o, u, r, outcome); };
    auto stopped = [&](const DownloadResult* r) {
        const int sig = DownloadStopSignal();
        finish(r, "aborted: signal " + SignalName(sig));
        return 128 + sig;
    };

    std::optional<PortLock> lock;
    try {
        lock.emplace(o.Port, wait);
    } catch (const PortLock::Failed& e) {
        if (DownloadStopSignal()) return stopped(nullptr);
        std::cerr << e.what() << "\n";
        finish(nullptr, std::string("error: ") + e.what());
        return 3;
    }
    DownloadResult result;
    try {
        std::string error;
        const int status = RunDownload(o, u.Rest, &result, &error);
        if (DownloadStopSignal()) return stopped(&result);
        std::string outcome = "ok";
        if (!error.empty()) outcome = "error: " + error;
        else if (!result.BookmarkError.empty()) outcome = "error: " + result.BookmarkError;
        else if (result.Aborted) outcome = "aborted: " + result.AbortReason;
        else if (status != 0) outcome = "error: status " + std::to_string(status);
        finish(&result, outcome);
        return status;
    } catch (const UsageError&) {
        throw;
    } catch (const std::exception& e) {
        if (DownloadStopSignal()) return stopped(&result);
        finish(&result, std::string("error: ") + e.what());
        throw;
    }
}

int ReportUnitFailure(const Options& o, const std::vector<std::string>& args) {
    std::string log;
    AlertChannels channels;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (ChannelOption(args, i, channels)) continue;
        if (args[i] == "--log" && i + 1 < args.size()) log = args[++i];
        else throw UsageError("unknown report-failure option " + args[i]);
    }
    const std::string id = Env("MONITOR_INVOCATION_ID"), unit = Env("MONITOR_UNIT");
    // The run already told of its own failure when its log line has a failed outcome.
    if (!id.empty() && !log.empty()) {
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) {
            if (line.find("\tinvocation=" + id) == std::string::npos) continue;
            std::istringstream fields(line);
            std::string field;
            for (int k = 0; k < 7 && std::getline(fields, field, '\t'); ++k) {
            }
            if (field != "ok") return 0;
        }
    }
    std::string reason = Tr("služba  " + (unit.empty() ? std::string("?") : unit) + "  selhala",
                            "the service  " + (unit.empty() ? std::string("?") : unit) + "  failed");
    if (!Env("MONITOR_SERVICE_RESULT").empty())
        reason += " (" + Env("MONITOR_SERVICE_RESULT") +
                  (Env("MONITOR_EXIT_CODE").empty() ? "" : ", " + Env("MONITOR_EXIT_CODE") + " " + Env("MONITOR_EXIT_STATUS")) +
                  ")";
    const std::string port = o.Port.empty() ? "?" : o.Port;
    // Without settings the failed unit names what failed.
    const std::string logger = !o.LoggerName.empty() ? o.LoggerName : !o.Port.empty() || unit.empty() ? port : unit;
    AlertEvent e;
    e.Kind = "failure";
    e.Logger = logger;
    e.Port = port;
    e.Time = Now();
    e.Reason = reason;
    e.Summary = FailureSummary(logger, port, reason, CurrentLanguage());
    std::string line = LogLine(port, nullptr, "error: " + reason);
    if (!o.LoggerName.empty()) line += "\tlogger=" + OneLogField(o.LoggerName);
    if (!id.empty()) line += "\tinvocation=" + OneLogField(id);
    int status = 0;
    for (const auto& problem : SendAlert(e, channels, CurrentLanguage())) {
        std::cerr << problem << "\n";
        line += "\tchannel-error: " + OneLogField(problem);
        status = 1;
    }
    if (!log.empty()) AppendLog(log, line);
    return status;
}

}  // namespace kolvex::cli
