// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LoggerSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "base/SafeFile.h"

namespace kolvex {

namespace {

std::vector<std::string> Words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// A regular file's text, read non-blocking; false with the reason.
bool ReadText(const std::string& path, std::string& text, std::string& problem) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        problem = FileErrorText(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        problem = FileErrorText(EINVAL);
        return false;
    }
    char buf[4096];
    for (ssize_t n; (n = ::read(fd.Get(), buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            problem = FileErrorText(errno);
            return false;
        }
        text.append(buf, static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

bool ParseLoggerSettings(const std::string& name, const std::string& text, LoggerSettings& c, std::string* problem) {
    c = LoggerSettings{};
    c.Name = name;
    std::istringstream in(text);
    int number = 0;
    auto fail = [&](const std::string& why) {
        if (problem) *problem = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    for (std::string line; std::getline(in, line);) {
        ++number;
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) return fail("KEY=VALUE expected");
        const std::string key = Trim(line.substr(0, eq));
        std::string value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
            value = value.substr(1, value.size() - 2);
        if (key == "KOLVEX_PORT") c.Port = value;
        else if (key == "KOLVEX_DIR") c.Dir = value;
        else if (key == "KOLVEX_LOG") c.Log = value;
        else if (key == "KOLVEX_SPLIT") c.Split = value;
        else if (key == "KOLVEX_NAME_SOURCE") c.NameSource = value;
        else if (key == "KOLVEX_ON_EVENT") c.OnEvent = value;
        else if (key == "KOLVEX_MAIL_TO") c.MailTo = value;
        else if (key == "KOLVEX_NOTIFY") {
            if (value == "yes" || value == "1" || value == "true") c.Notify = true;
            else if (value == "no" || value == "0" || value == "false" || value.empty()) c.Notify = false;
            else return fail("KOLVEX_NOTIFY takes yes or no");
        } else if (key == "KOLVEX_DOWNLOAD_ARGS") c.DownloadArgs = Words(value);
        else if (key == "KOLVEX_EXPORT_ARGS") c.ExportArgs = Words(value);
        else return fail("unknown key " + key);
    }
    return true;
}

std::string LoggerSettingsFolder() {
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') return "";
    return std::string(home) + "/.config/kolvex12/loggers";
}

std::string LoggerTableFolder(const LoggerSettings& s, const std::string& dataFolder) {
    return !s.Dir.empty() ? s.Dir : dataFolder + "/loggers/" + s.Name;
}

std::string LoggerLogFile(const LoggerSettings& s, const std::string& dataFolder) {
    return !s.Log.empty() ? s.Log : LoggerTableFolder(s, dataFolder) + "/download.log";
}

std::vector<ConfiguredLogger> ListConfiguredLoggers(const std::string& folder, const std::string& dataFolder) {
    std::vector<ConfiguredLogger> list;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const auto path = entry.path();
        if (path.extension() != ".conf" || path.stem().empty()) continue;
        ConfiguredLogger l;
        l.Name = path.stem().string();
        std::string text, problem;
        LoggerSettings s;
        if (!ReadText(path.string(), text, problem) || !ParseLoggerSettings(l.Name, text, s, &problem)) {
            l.Problem = path.string() + ": " + problem;
            list.push_back(l);
            continue;
        }
        l.Port = s.Port;
        l.LogFile = LoggerLogFile(s, dataFolder);
        // The last complete line of the log: the time first, then named fields
        // ("port=", "drift=", "excursions=", ...) and the outcome.
        std::string log, ignored;
        if (ReadText(l.LogFile, log, ignored)) {
            std::istringstream in(log);
            std::string last;
            for (std::string line; std::getline(in, line);)
                if (!line.empty()) last = line;
            std::vector<std::string> fields;
            std::istringstream f(last);
            for (std::string field; std::getline(f, field, '\t');) fields.push_back(field);
            if (fields.size() >= 2) l.LastRun = fields[0];
            for (std::size_t i = 1; i < fields.size(); ++i) {
                const std::string& field = fields[i];
                if (l.LastOutcome.empty() && (field == "ok" || field.rfind("aborted", 0) == 0 ||
                                              field.rfind("error: ", 0) == 0))
                    l.LastOutcome = field;
                if (field.rfind("excursions=", 0) == 0) l.LastExcursions = std::atoi(field.c_str() + 11);
            }
        }
        list.push_back(l);
    }
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
    return list;
}

}  // namespace kolvex
