// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/DownloadCommand.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "base/ConfigRecord.h"
#include "base/Errors.h"
#include "base/Language.h"
#include "archive/Adm.h"
#include "archive/Download.h"
#include "archive/SummaryReport.h"
#include "base/DateTime.h"
#include "archive/FileOps.h"
#include "archive/TableLock.h"
#include "link/CommSettings.h"
#include "logger/LoggerAudit.h"
#include "logger/LoggerOps.h"
#include "link/SerCom.h"

namespace kolvex::cli {

namespace {

volatile std::sig_atomic_t g_signal = 0;

void OnStopSignal(int signo) {
    g_signal = signo;
    // A second signal of the kind ends the program at once.
    struct sigaction sa {};
    sa.sa_handler = SIG_DFL;
    ::sigaction(signo, &sa, nullptr);
}

}  // namespace

int DownloadStopSignal() { return g_signal; }

void CatchStopSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sa.sa_flags = SA_RESTART;  // file writes go on; the link's waits see the flag
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &sa, nullptr);
}

std::string SignalName(int signo) {
    switch (signo) {
        case SIGTERM: return "SIGTERM";
        case SIGINT: return "SIGINT";
        case SIGHUP: return "SIGHUP";
        default: return "signal " + std::to_string(signo);
    }
}

namespace {

// Answers every question of the download without asking: the chosen file
// for name source 2, Retry on a communication error at most N times in a
// row, then Abort.
class BatchUi : public DownloadUi {
public:
    BatchUi(std::string file, int retries, bool showProgress)
        : file_(std::move(file)), retries_(retries), tty_(showProgress) {}

    void Message(const std::string& text) override { std::cerr << (tty_ ? "\r\033[K" : "") << text << "\n"; }
    void EditStoringOptions(StoringOptions&) override {}
    bool Confirm(const std::string&) override { return true; }
    std::optional<std::string> ChooseTargetFile(const std::string&) override { return file_; }
    // Every failed exchange is told on stderr, the last one too (also with
    // --retries 0), saying whether it is tried again.
    StepFailure CommError(const std::string& message) override {
        const bool giveUp = inRow_ >= retries_ || DownloadStopSignal() != 0;
        std::cerr << (tty_ ? "\r\033[K" : "") << message
                  << (giveUp ? Tr(" (čtení končí)", " (reading ends)") : Tr(" (znovu)", " (trying again)")) << "\n";
        if (giveUp) return StepFailure::Abort;
        ++inRow_;
        return StepFailure::Retry;
    }
    bool StopRequested() override { return DownloadStopSignal() != 0; }
    void ProgressStart(const std::string& message) override {
        message_ = message;
        start_ = std::chrono::steady_clock::now();
        if (tty_) std::cerr << message << "   0 %" << std::flush;
    }
    void RecordsRead(std::uint64_t records) override { records_ = records; }
    void Progress(int percent) override {
        inRow_ = 0;  // a step succeeded
        if (!tty_) return;
        // Records read, percent and the time left at the pace so far.
        std::string left;
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        if (percent > 0 && percent < 100 && s >= 1) {
            const long rest = std::lround(s * (100 - percent) / percent);
            char b[48];
            std::snprintf(b, sizeof b, "  %ld:%02ld", rest / 60, rest % 60);
            left = Tr("  zbývá", "  left") + b;
        }
        std::cerr << "\r\033[K" << message_ << "  " << records_ << Tr(" záznamů  ", " records  ") << percent << " %"
                  << left << std::flush;
    }
    void ProgressEnd() override {
        if (tty_) std::cerr << "\n";
    }
    void Information(const std::string& text) override { std::cerr << text; }

private:
    std::string file_;
    int retries_;
    int inRow_ = 0;
    bool tty_;
    std::string message_;
    std::uint64_t records_ = 0;
    std::chrono::steady_clock::time_point start_;
};

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Need(const std::vector<std::string>& a, std::size_t& i) {
    if (i + 1 >= a.size()) throw UsageError(a[i] + " needs a value");
    return a[++i];
}

}  // namespace

std::vector<std::string> ExcursionLines(const DownloadResult& result) {
    std::vector<std::string> lines;
    if (!result.Check) return lines;
    for (const InputSummary& in : result.Check->Inputs) {
        const std::string unit = in.Input.Unit.empty() ? std::string() : " " + in.Input.Unit;
        auto number = [&](double v) {
            const int decimals = std::clamp(in.Input.Decimals, 0, 6);
            if (std::fabs(v) < 0.5 * std::pow(10.0, -decimals)) v = 0;  // no "-0.0"
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
            return std::string(buf) + unit;
        };
        for (const Excursion& e : in.Excursions) {
            const bool above = e.Side == LimitSide::Above;
            const std::optional<double>& limit = above ? in.Input.High : in.Input.Low;
            std::string line = in.Input.Name + (above ? Tr(" nad ", " above ") : Tr(" pod ", " below ")) +
                               (limit ? number(*limit) : std::string("?")) + Tr(" od ", " from ") +
                               FormatIsoDateTime(e.Start) + Tr(" do ", " to ") + FormatIsoDateTime(e.End) + " (" +
                               DurationText(e.Seconds) + ")" + Tr(", extrém ", ", extreme ") + number(e.Extreme);
            lines.push_back(line);
        }
    }
    return lines;
}

namespace {

// The download's options as given on the command line.
struct DownloadArgs {
    std::string Dir = ".", File, Ext = ".dbf";
    int NameSource = 0, Split = 0, Mode = 0, Retries = 3;
    bool Bookmark = true, Json = false;
    bool SyncClock = false;  // set the logger's clock after a good download when it drifted too far
    int DriftLimit = kDefaultDriftLimitSeconds;
};

int SplitFlagsOf(const std::string& list) {
    int split = 0;
    std::stringstream ss(list);
    std::string part;
    while (std::getline(ss, part, ',')) {
        if (part == "year") split |= 1;
        else if (part == "month") split |= 2;
        else if (part == "week") split |= 4;
        else if (part == "day") split |= 8;
        else throw UsageError("--split takes year,month,week,day");
    }
    return split;
}

DownloadArgs ParseDownloadArgs(const Options& o, const std::vector<std::string>& args) {
    DownloadArgs d;
    d.Json = o.Json;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--dir") d.Dir = Need(args, i);
        else if (a == "--name-source") {
            const std::string v = Need(args, i);
            if (v == "param") d.NameSource = 0;
            else if (v == "serial") d.NameSource = 1;
            else throw UsageError("--name-source needs param or serial");
        } else if (a == "--file") {
            d.File = Need(args, i);
            d.NameSource = 2;
        } else if (a == "--split") {
            d.Split |= SplitFlagsOf(Need(args, i));
        } else if (a == "--mode") {
            const std::string v = Need(args, i);
            if (v == "bookmark") d.Mode = 0;
            else if (v == "all") d.Mode = 1;
            else throw UsageError("--mode needs bookmark or all");
        } else if (a == "--no-bookmark") d.Bookmark = false;
        else if (a == "--ext") {
            const std::string v = Need(args, i);
            if (v == "dbf") d.Ext = ".dbf";
            else if (v == "db") d.Ext = ".db";
            else throw UsageError("--ext needs dbf or db");
        } else if (a == "--retries") {
            char* end = nullptr;
            const std::string v = Need(args, i);
            d.Retries = static_cast<int>(std::strtol(v.c_str(), &end, 10));
            if (v.empty() || *end || d.Retries < 0 || d.Retries > 1000) throw UsageError("--retries needs 0..1000");
        } else if (a == "--json") d.Json = true;
        else if (a == "--sync-clock") d.SyncClock = true;
        else if (a == "--drift-limit") {
            char* end = nullptr;
            const std::string v = Need(args, i);
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || n < 0 || n > 86400L * 366) throw UsageError("--drift-limit needs seconds 0..31622400");
            d.DriftLimit = static_cast<int>(n);
        } else throw UsageError("unknown download option " + a);
    }
    if (d.Split == 0) d.Split = 1;
    return d;
}

// The stored configuration the download reads its choices from.
ConfigRecord DownloadConfig(DownloadArgs& d) {
    ConfigRecord config;
    config.NameSource = d.NameSource;
    config.SplitFlags = d.Split;
    config.ReadMode = d.Mode;
    config.InsertBookmark = d.Bookmark ? 1 : 0;
    if (!d.Dir.empty() && d.Dir.back() == '/') d.Dir.pop_back();
    config.LastArchivePath = (d.Dir.empty() ? std::string("/") : d.Dir + "/") + "00000000" + d.Ext;
    return config;
}

// What happened after the archive was read: the clock set, and why it failed.
struct ClockOutcome {
    bool Set = false;
    std::string Error;
};

void PrintDownloadJson(const DownloadResult& r, const std::string& error, const ClockOutcome& clock) {
    nlohmann::json files = nlohmann::json::array();
    for (const auto& f : r.Files)
        files.push_back({{"path", f.Path}, {"records_added", f.RecordsAdded}, {"already_stored", f.AlreadyStored}});
    nlohmann::json out = {{"files", files},
                          {"records", r.Records},
                          {"records_added", r.RecordsAdded()},
                          {"already_stored", r.AlreadyStored()},
                          {"aborted", r.Aborted}};
    out["bookmark"] = r.Bookmark ? nlohmann::json(*r.Bookmark) : nlohmann::json(nullptr);
    if (!r.BookmarkError.empty()) out["bookmark_error"] = r.BookmarkError;
    if (!error.empty()) out["error"] = error;
    else if (r.Aborted) out["error"] = r.AbortReason;
    else if (!r.BookmarkError.empty()) out["error"] = r.BookmarkError;
    out["drift"] = r.Drift ? DriftJson(*r.Drift) : nlohmann::json(nullptr);
    if (!r.DriftError.empty()) out["drift_error"] = r.DriftError;
    out["clock_set"] = clock.Set;
    if (!clock.Error.empty()) out["clock_error"] = clock.Error;
    nlohmann::json summer = nlohmann::json::array();
    for (const auto& f : r.SummerTime) summer.push_back(SummerTimeText(f, CurrentLanguage()));
    out["summer_time"] = summer;
    if (!r.AuditError.empty()) out["audit_error"] = r.AuditError;
    out["excursions"] = ExcursionLines(r);
    std::cout << out.dump() << std::endl;
    if (!clock.Error.empty()) std::cerr << clock.Error << "\n";
    if (!error.empty()) std::cerr << error << "\n";
    else if (r.Aborted) std::cerr << Tr("Čtení přerušeno: ", "Reading aborted: ") << r.AbortReason << "\n";
}

void PrintDownloadText(const DownloadResult& r, const std::string& error, const ClockOutcome& clock) {
    for (const auto& f : r.Files) {
        std::cout << f.Path << "  " << f.RecordsAdded << Tr(" záznamů", " records");
        if (f.AlreadyStored) std::cout << Tr(", již uloženo ", ", already stored ") << f.AlreadyStored;
        std::cout << "\n";
    }
    std::cout << Tr("Přečteno záznamů: ", "Records read: ") << r.Records << "\n";
    if (r.Bookmark) std::cout << Tr("Záložka: ", "Bookmark: ") << *r.Bookmark << "\n";
    if (r.Aborted) {
        std::cout << Tr("Čtení přerušeno", "Reading aborted") << "\n";
        if (error.empty()) std::cerr << Tr("Čtení přerušeno: ", "Reading aborted: ") << r.AbortReason << "\n";
    }
    for (const auto& line : ExcursionLines(r)) std::cout << Tr("Mimo mez: ", "Excursion: ") << line << "\n";
    if (r.Drift) std::cout << Tr("Hodiny záznamníku: ", "Logger clock: ") << DriftText(*r.Drift, CurrentLanguage()) << "\n";
    if (!r.DriftError.empty()) std::cerr << Tr("Hodiny záznamníku nelze přečíst: ", "The logger's clock cannot be read: ") << r.DriftError << "\n";
    if (clock.Set) std::cout << Tr("Hodiny záznamníku nastaveny podle PC", "Logger clock set from the PC") << "\n";
    if (!clock.Error.empty()) std::cerr << clock.Error << "\n";
    if (!error.empty())
        std::cerr << error << "\n"
                  << Tr("Uloženo záznamů: ", "Records stored: ") << r.RecordsAdded() << "\n";
}

}  // namespace

int RunDownload(const Options& o, const std::vector<std::string>& args, DownloadResult* result,
                std::string* errorOut) {
    DownloadArgs d = ParseDownloadArgs(o, args);

    // The target folder must exist before anything is read from the logger.
    const std::string folder = d.File.empty() ? (d.Dir.empty() ? std::string("/") : d.Dir) : ExtractFileDir(d.File);
    if (!IsDirectory(folder))
        throw EADM(Tr("Složka  " + folder + "  neexistuje", "The folder  " + folder + "  does not exist"));

    TSerCom port;
    LoggerData data;
    LoggerOps ops(port, data);
    port.SetSimulatedPort(o.Simulated);
    OpenPortDirect(port, o.Port, o.IdleMs, o.SlotMs);

    ConfigRecord config = DownloadConfig(d);

    FixedAnswerer answers(false);  // old-structure targets are not converted, damaged ones not repaired here
    TADM adm(&answers);
    BatchUi ui(d.File, d.Retries, !d.Json && ::isatty(2) != 0);
    DownloadResult r;
    std::string error;
    bool busy = false;  // another run holds a target table
    SetDriftLimitSeconds(d.DriftLimit);
    try {
        ReadArchive(ops, adm, config, ui, &r);
        adm.CloseArchive();
    } catch (const std::exception& e) {
        error = e.what();
        busy = dynamic_cast<const ETableBusy*>(&e) != nullptr;
        try {
            adm.CloseArchive();
        } catch (...) {
        }
    }
    // Why the reading was aborted, when it was: a signal, or the last failed exchange.
    if (r.Aborted) {
        if (g_signal) r.AbortReason = "signal " + SignalName(g_signal);
        else if (r.AbortReason.empty()) r.AbortReason = Tr("čtení přerušeno", "reading aborted");
    }
    // Success only when everything was read and the bookmark moved (or was not asked for).
    const bool ok = error.empty() && !r.Aborted && r.BookmarkError.empty() && r.AuditError.empty();
    // The clock set from the PC after a good download (audited like any set).
    ClockOutcome clock;
    if (ok && d.SyncClock && r.Drift && r.Drift->Exceeded()) {
        try {
            SetLoggerClockFromPc(ops, d.DriftLimit, "kolvex12-cli download --sync-clock");
            clock.Set = true;
        } catch (const std::exception& e) {
            clock.Error = e.what();
        }
    }
    if (result) *result = r;
    if (errorOut) *errorOut = error;

    if (d.Json) PrintDownloadJson(r, error, clock);
    else PrintDownloadText(r, error, clock);
    return ok && clock.Error.empty() ? 0 : busy ? 3 : 1;
}

}  // namespace kolvex::cli
