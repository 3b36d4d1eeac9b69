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
#include <optional>
#include <stdexcept>
#include <sstream>
#include <thread>

#include "base/Language.h"
#include "archive/Download.h"
#include "cli/DownloadCommand.h"

namespace kolvex::cli {

namespace {

class PortLock {
public:
    PortLock(const std::string& port, int waitSeconds) : path_(LockFileFor(port)) {
        const mode_t old = umask(0);
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
        umask(old);
        if (fd_ < 0)
            throw Failed(Tr("Zámek  " + path_ + "  nelze otevřít: ", "The lock  " + path_ + "  cannot be opened: ") +
                         std::strerror(errno));
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(waitSeconds);
        while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR)
                throw Failed(Tr("Zámek  " + path_ + "  nelze získat: ", "The lock  " + path_ + "  cannot be taken: ") +
                             std::strerror(errno));
            if (std::chrono::steady_clock::now() >= until)
                throw Failed(Tr("Se záznamníkem na portu  " + port + "  právě komunikuje jiný běh programu; po " +
                                    std::to_string(waitSeconds) + " s čekání končím",
                                "Another run is talking to the logger on port  " + port + "; gave up after " +
                                    std::to_string(waitSeconds) + " s of waiting"));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    ~PortLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    PortLock(const PortLock&) = delete;
    PortLock& operator=(const PortLock&) = delete;

    struct Failed : std::runtime_error {
        using std::runtime_error::runtime_error;
    };

private:
    std::string path_;
    int fd_ = -1;
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
    std::ofstream out(file, std::ios::app);
    if (out) out << line << "\n";
    if (!out)
        std::cerr << Tr("Záznam do  " + file + "  nelze zapsat: ", "The log  " + file + "  cannot be written: ")
                  << std::strerror(errno) << "\n";
}

}  // namespace

std::string LockFileFor(const std::string& port) {
    std::string safe;
    for (char c : port) safe += (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-') ? c : '_';
    const char* dir = std::getenv("KOLVEX_LOCK_DIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/kolvex12-" + safe + ".lock";
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

    std::optional<PortLock> lock;
    try {
        lock.emplace(o.Port, wait);
    } catch (const PortLock::Failed& e) {
        std::cerr << e.what() << "\n";
        if (!log.empty()) AppendLog(log, LogLine(o.Port, nullptr, std::string("error: ") + e.what()));
        return 3;
    }
    DownloadResult result;
    try {
        std::string error;
        const int status = RunDownload(o, rest, &result, &error);
        if (!log.empty()) {
            std::string outcome = "ok";
            if (!error.empty()) outcome = "error: " + error;
            else if (!result.BookmarkError.empty()) outcome = "error: " + result.BookmarkError;
            else if (result.Aborted) outcome = "aborted";
            AppendLog(log, LogLine(o.Port, &result, outcome));
        }
        return status;
    } catch (const UsageError&) {
        throw;
    } catch (const std::exception& e) {
        if (!log.empty()) AppendLog(log, LogLine(o.Port, &result, std::string("error: ") + e.what()));
        throw;
    }
}

}  // namespace kolvex::cli
