// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Alerts.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <nlohmann/json.hpp>

#include "base/SafeFile.h"

namespace kolvex {

namespace {

// A helper program that hangs is stopped after this long: the run it tells
// about must end.
constexpr int kChannelSeconds = 60;

std::string Base64(const std::string& in) {
    static const char* abc = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8 | (unsigned char)in[i + 2];
        out += {abc[v >> 18], abc[(v >> 12) & 63], abc[(v >> 6) & 63], abc[v & 63]};
    }
    if (i + 1 == in.size()) {
        const unsigned v = (unsigned char)in[i] << 16;
        out += {abc[v >> 18], abc[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == in.size()) {
        const unsigned v = (unsigned char)in[i] << 16 | (unsigned char)in[i + 1] << 8;
        out += {abc[v >> 18], abc[(v >> 12) & 63], abc[(v >> 6) & 63], '='};
    }
    return out;
}

// A header value: plain when it is printable ASCII, else an encoded word.
std::string HeaderText(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7e) return "=?UTF-8?B?" + Base64(text) + "?=";
    return text;
}

std::string OneLine(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    return s;
}

std::string KindTitle(const std::string& kind, Lang lang) {
    if (kind == "excursion") return Tr(lang, "překročení mezí", "alarm limits crossed");
    if (kind == "drift") return Tr(lang, "odchylka hodin záznamníku", "logger clock drift");
    return Tr(lang, "stažení se nezdařilo", "download failed");
}

std::string FindProgram(const std::string& name, std::initializer_list<const char*> fallbacks) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!dir.empty()) {
            const std::string p = dir + "/" + name;
            if (::access(p.c_str(), X_OK) == 0) return p;
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    for (const char* f : fallbacks)
        if (::access(f, X_OK) == 0) return f;
    return "";
}

// Runs argv with `input` on its standard input and the extra environment;
// its standard output goes to our standard error, so that a --json reader
// never sees it. Returns "" on exit status 0, else why not.
std::string RunWithInput(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& input, Lang lang) {
    UniqueFd in(::memfd_create("kolvex12-event", MFD_CLOEXEC));
    if (!in) return FileErrorText(errno);
    for (std::size_t done = 0; done < input.size();) {
        const ssize_t n = ::write(in.Get(), input.data() + done, input.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return FileErrorText(errno);
        done += static_cast<std::size_t>(n);
    }
    ::lseek(in.Get(), 0, SEEK_SET);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) return FileErrorText(errno);
    if (pid == 0) {
        ::setpgid(0, 0);
        ::dup2(in.Get(), 0);
        ::dup2(2, 1);
        for (const auto& e : env) ::putenv(const_cast<char*>(e.c_str()));
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(kChannelSeconds);
    int status = 0;
    for (;;) {
        const pid_t w = ::waitpid(pid, &status, WNOHANG);
        if (w == pid) break;
        if (w < 0 && errno != EINTR) return FileErrorText(errno);
        if (std::chrono::steady_clock::now() >= until) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return Tr(lang, "neskončil do " + std::to_string(kChannelSeconds) + " s a byl ukončen",
                      "did not end within " + std::to_string(kChannelSeconds) + " s and was killed");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
        return Tr(lang, "nelze spustit (stav 127)", "cannot be started (status 127)");
    if (WIFEXITED(status)) return Tr(lang, "skončil se stavem ", "ended with status ") + std::to_string(WEXITSTATUS(status));
    return Tr(lang, "ukončen signálem ", "ended by signal ") + std::to_string(WTERMSIG(status));
}

}  // namespace

std::string FailureSummary(const std::string& logger, const std::string& port, const std::string& reason, Lang lang) {
    const std::string who = logger == port ? "  " + port : "  " + logger + " (" + Tr(lang, "port ", "port ") + port + ")";
    return OneLine(Tr(lang, "kolvex12: stažení ze záznamníku" + who + "  se nezdařilo: " + reason,
                      "kolvex12: the download from logger" + who + "  failed: " + reason));
}

std::string AlertJson(const AlertEvent& e) {
    nlohmann::json j = {{"event", e.Kind},        {"logger", e.Logger},     {"port", e.Port},
                        {"time", e.Time},         {"summary", e.Summary},   {"records_read", e.RecordsRead},
                        {"records_stored", e.RecordsStored}, {"files", e.Files}, {"details", e.Details}};
    if (!e.Reason.empty()) j["reason"] = e.Reason;
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool UsableMailAddress(const std::string& a) {
    if (a.empty() || a[0] == '-' || a.find('@') == std::string::npos) return false;
    for (unsigned char c : a)
        if (c <= 0x20 || c == 0x7f || c == ',' || c == ';') return false;
    return true;
}

std::string AlertMail(const AlertEvent& e, const std::string& to, Lang lang) {
    std::string m;
    m += "To: " + to + "\n";
    m += "Subject: " + HeaderText("kolvex12: " + KindTitle(e.Kind, lang) + " – " + OneLine(e.Logger)) + "\n";
    m += "MIME-Version: 1.0\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n";
    m += "Auto-Submitted: auto-generated\n\n";
    m += e.Summary + "\n\n";
    m += Tr(lang, "Záznamník: ", "Logger: ") + e.Logger + "\n";
    m += Tr(lang, "Port: ", "Port: ") + e.Port + "\n";
    m += Tr(lang, "Čas: ", "Time: ") + e.Time + "\n";
    if (!e.Reason.empty()) m += Tr(lang, "Příčina: ", "Reason: ") + OneLine(e.Reason) + "\n";
    m += Tr(lang, "Přečteno záznamů: ", "Records read: ") + std::to_string(e.RecordsRead) + "\n";
    m += Tr(lang, "Uloženo záznamů: ", "Records stored: ") + std::to_string(e.RecordsStored) + "\n";
    for (const auto& f : e.Files) m += Tr(lang, "Tabulka: ", "Table: ") + f + "\n";
    if (!e.Details.empty()) {
        m += "\n";
        for (const auto& d : e.Details) m += OneLine(d) + "\n";
    }
    return m;
}

std::vector<std::string> SendAlert(const AlertEvent& e, const AlertChannels& c, Lang lang) {
    std::vector<std::string> problems;
    if (!c.Command.empty()) {
        const std::string why =
            RunWithInput({"/bin/sh", "-c", c.Command},
                         {"KOLVEX_EVENT=" + e.Kind, "KOLVEX_LOGGER=" + e.Logger, "KOLVEX_SUMMARY=" + e.Summary},
                         AlertJson(e) + "\n", lang);
        if (!why.empty())
            problems.push_back(Tr(lang, "Příkaz události  " + c.Command + "  selhal: " + why,
                                  "The event command  " + c.Command + "  failed: " + why));
    }
    if (!c.MailTo.empty()) {
        std::string why;
        const std::string sendmail = FindProgram("sendmail", {"/usr/sbin/sendmail", "/usr/lib/sendmail"});
        if (!UsableMailAddress(c.MailTo)) why = Tr(lang, "neplatná adresa", "not a usable address");
        else if (sendmail.empty())
            why = Tr(lang, "program sendmail nebyl nalezen (nainstalujte poštovní agent, např. msmtp-mta)",
                     "no sendmail program found (install a mail agent, e.g. msmtp-mta)");
        else why = RunWithInput({sendmail, "-i", "--", c.MailTo}, {}, AlertMail(e, c.MailTo, lang), lang);
        if (!why.empty())
            problems.push_back(Tr(lang, "E-mail na  " + c.MailTo + "  nebyl odeslán: " + why,
                                  "The mail to  " + c.MailTo + "  was not sent: " + why));
    }
    if (c.Notify) {
        // Only where a desktop session listens; a nightly run without one
        // has nobody to show it to, which is no failure.
        const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        const std::string notify = FindProgram("notify-send", {});
        if (bus && *bus && !notify.empty()) {
            const std::string why = RunWithInput(
                {notify, "--app-name=kolvex12", "--icon=cz.kolvex.kolvex12",
                 e.Kind == "failure" || e.Kind == "excursion" ? "--urgency=critical" : "--urgency=normal", "--",
                 "kolvex12: " + KindTitle(e.Kind, lang), e.Summary},
                {}, "", lang);
            if (!why.empty())
                problems.push_back(Tr(lang, "Oznámení na ploše selhalo: ", "The desktop notification failed: ") + why);
        }
    }
    return problems;
}

}  // namespace kolvex
