// SPDX-License-Identifier: GPL-3.0-or-later
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
    std::string problem;
    if (!ParseLoggerSettings(base, text, c, &problem)) throw UsageError("--config " + path + " " + problem);
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
        dir = LoggerTableFolder(c, data);
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
