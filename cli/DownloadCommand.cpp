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

int RunDownload(const Options& o, const std::vector<std::string>& args, DownloadResult* result,
                std::string* errorOut) {
    std::string dir = ".", file, ext = ".dbf";
    int nameSource = 0, split = 0, mode = 0, retries = 3;
    bool bookmark = true, json = o.Json;
    bool syncClock = false;  // set the logger's clock after a good download when it drifted too far
    int driftLimit = kDefaultDriftLimitSeconds;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--dir") dir = Need(args, i);
        else if (a == "--name-source") {
            const std::string v = Need(args, i);
            if (v == "param") nameSource = 0;
            else if (v == "serial") nameSource = 1;
            else throw UsageError("--name-source needs param or serial");
        } else if (a == "--file") {
            file = Need(args, i);
            nameSource = 2;
        } else if (a == "--split") {
            std::stringstream ss(Need(args, i));
            std::string part;
            while (std::getline(ss, part, ',')) {
                if (part == "year") split |= 1;
                else if (part == "month") split |= 2;
                else if (part == "week") split |= 4;
                else if (part == "day") split |= 8;
                else throw UsageError("--split takes year,month,week,day");
            }
        } else if (a == "--mode") {
            const std::string v = Need(args, i);
            if (v == "bookmark") mode = 0;
            else if (v == "all") mode = 1;
            else throw UsageError("--mode needs bookmark or all");
        } else if (a == "--no-bookmark") bookmark = false;
        else if (a == "--ext") {
            const std::string v = Need(args, i);
            if (v == "dbf") ext = ".dbf";
            else if (v == "db") ext = ".db";
            else throw UsageError("--ext needs dbf or db");
        } else if (a == "--retries") {
            char* end = nullptr;
            const std::string v = Need(args, i);
            retries = static_cast<int>(std::strtol(v.c_str(), &end, 10));
            if (v.empty() || *end || retries < 0 || retries > 1000) throw UsageError("--retries needs 0..1000");
        } else if (a == "--json") json = true;
        else if (a == "--sync-clock") syncClock = true;
        else if (a == "--drift-limit") {
            char* end = nullptr;
            const std::string v = Need(args, i);
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || n < 0 || n > 86400L * 366) throw UsageError("--drift-limit needs seconds 0..31622400");
            driftLimit = static_cast<int>(n);
        } else throw UsageError("unknown download option " + a);
    }
    if (split == 0) split = 1;

    // The target folder must exist before anything is read from the logger.
    const std::string folder = file.empty() ? (dir.empty() ? std::string("/") : dir) : ExtractFileDir(file);
    if (!IsDirectory(folder))
        throw EADM(Tr("Složka  " + folder + "  neexistuje", "The folder  " + folder + "  does not exist"));

    TSerCom port;
    LoggerData data;
    LoggerOps ops(port, data);
    port.SetSimulatedPort(o.Simulated);
    OpenPortDirect(port, o.Port, o.IdleMs, o.SlotMs);

    ConfigRecord config;
    config.NameSource = nameSource;
    config.SplitFlags = split;
    config.ReadMode = mode;
    config.InsertBookmark = bookmark ? 1 : 0;
    if (!dir.empty() && dir.back() == '/') dir.pop_back();
    config.LastArchivePath = (dir.empty() ? std::string("/") : dir + "/") + "00000000" + ext;

    FixedAnswerer answers(false);  // old-structure targets are not converted, damaged ones not repaired here
    TADM adm(&answers);
    BatchUi ui(file, retries, !json && ::isatty(2) != 0);
    DownloadResult r;
    std::string error;
    bool busy = false;  // another run holds a target table
    SetDriftLimitSeconds(driftLimit);
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
    bool clockSet = false;
    std::string clockError;
    if (ok && syncClock && r.Drift && r.Drift->Exceeded()) {
        try {
            SetLoggerClockFromPc(ops, driftLimit, "kolvex12-cli download --sync-clock");
            clockSet = true;
        } catch (const std::exception& e) {
            clockError = e.what();
        }
    }
    if (result) *result = r;
    if (errorOut) *errorOut = error;

    if (json) {
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
        out["clock_set"] = clockSet;
        if (!clockError.empty()) out["clock_error"] = clockError;
        nlohmann::json summer = nlohmann::json::array();
        for (const auto& f : r.SummerTime) summer.push_back(SummerTimeText(f, CurrentLanguage()));
        out["summer_time"] = summer;
        if (!r.AuditError.empty()) out["audit_error"] = r.AuditError;
        out["excursions"] = ExcursionLines(r);
        std::cout << out.dump() << std::endl;
        if (!clockError.empty()) std::cerr << clockError << "\n";
        if (!error.empty()) std::cerr << error << "\n";
        else if (r.Aborted) std::cerr << Tr("Čtení přerušeno: ", "Reading aborted: ") << r.AbortReason << "\n";
        return ok && clockError.empty() ? 0 : busy ? 3 : 1;
    }
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
    if (clockSet) std::cout << Tr("Hodiny záznamníku nastaveny podle PC", "Logger clock set from the PC") << "\n";
    if (!clockError.empty()) std::cerr << clockError << "\n";
    if (!error.empty())
        std::cerr << error << "\n"
                  << Tr("Uloženo záznamů: ", "Records stored: ") << r.RecordsAdded() << "\n";
    return ok && clockError.empty() ? 0 : busy ? 3 : 1;
}

}  // namespace kolvex::cli
