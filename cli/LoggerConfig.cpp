#include "cli/LoggerConfig.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sstream>

#include "app/WorkFolder.h"
#include "base/SafeFile.h"

namespace kolvex::cli {

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

bool Has(const std::vector<std::string>& args, const std::string& option) {
    return std::find(args.begin() + 1, args.end(), option) != args.end();
}

}  // namespace

LoggerConfig ReadLoggerConfig(const std::string& path) {
    // Read as every input: non-blocking, a regular file only.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) throw UsageError("--config " + path + ": " + FileErrorText(errno));
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw UsageError("--config " + path + ": not a regular file");
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd.Get(), buf, sizeof buf)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw UsageError("--config " + path + ": " + FileErrorText(errno));
        text.append(buf, static_cast<std::size_t>(n));
    }

    LoggerConfig c;
    std::string base = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    if (base.size() > 5 && base.compare(base.size() - 5, 5, ".conf") == 0) base.resize(base.size() - 5);
    c.Name = base;
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        const auto eq = line.find('=');
        const std::string where = "--config " + path + " line " + std::to_string(number) + ": ";
        if (eq == std::string::npos) throw UsageError(where + "KEY=VALUE expected");
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
            else throw UsageError(where + "KOLVEX_NOTIFY takes yes or no");
        } else if (key == "KOLVEX_DOWNLOAD_ARGS") c.DownloadArgs = Words(value);
        else if (key == "KOLVEX_EXPORT_ARGS") c.ExportArgs = Words(value);
        else throw UsageError(where + "unknown key " + key);
    }
    return c;
}

void ApplyLoggerConfig(const LoggerConfig& c, Options& o, bool portGiven, std::vector<std::string>& args) {
    if (!portGiven && !c.Port.empty()) o.Port = c.Port;
    o.LoggerName = c.Name;
    if (args.empty() || (args[0] != "download" && args[0] != "report-failure")) return;
    const bool download = args[0] == "download";
    std::vector<std::string> add;
    auto option = [&](const std::string& name, const std::string& value) {
        if (!value.empty() && !Has(args, name)) add.insert(add.end(), {name, value});
    };
    std::string dir = c.Dir;
    if (dir.empty() && (!download || (!Has(args, "--dir") && !Has(args, "--file")))) {
        const std::string data = UserDataFolder();
        if (data.empty()) throw UsageError("--config: no data folder (neither XDG_DATA_HOME nor HOME is set)");
        dir = data + "/loggers/" + c.Name;
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(data).parent_path(), ec);
        for (const std::string& d : {data, data + "/loggers", dir})
            if (::mkdir(d.c_str(), 0700) != 0 && errno != EEXIST)
                throw UsageError("--config: the folder " + d + " cannot be created: " + FileErrorText(errno));
    }
    if (download) option("--dir", dir);
    option("--log", !c.Log.empty() ? c.Log : !dir.empty() ? dir + "/download.log" : "");
    if (download) {
        option("--split", c.Split);
        option("--name-source", c.NameSource);
    }
    option("--on-event", c.OnEvent);
    option("--mail-to", c.MailTo);
    if (c.Notify && !Has(args, "--notify")) add.push_back("--notify");
    if (download) add.insert(add.end(), c.DownloadArgs.begin(), c.DownloadArgs.end());
    args.insert(args.begin() + 1, add.begin(), add.end());
}

}  // namespace kolvex::cli
