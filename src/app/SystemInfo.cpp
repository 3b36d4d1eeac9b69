// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SystemInfo.h"

#include <sys/utsname.h>

#include <fstream>
#include <sstream>

#include "base/ReadFile.h"

namespace kolvex {

std::string PrettyNameFromOsRelease(std::string_view content) {
    std::string result;
    std::size_t pos = 0;
    while (pos <= content.size()) {
        std::size_t end = content.find('\n', pos);
        if (end == std::string_view::npos) end = content.size();
        std::string_view line = content.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
        constexpr std::string_view key = "PRETTY_NAME=";
        if (line.substr(0, key.size()) != key) continue;
        std::string_view value = line.substr(key.size());
        std::string out;
        if (!value.empty() && (value.front() == '"' || value.front() == '\'')) {
            const char quote = value.front();
            for (std::size_t i = 1; i < value.size() && value[i] != quote; ++i) {
                if (value[i] == '\\' && quote == '"' && i + 1 < value.size()) ++i;
                out += value[i];
            }
        } else {
            out = std::string(value);
        }
        result = out;  // the last assignment wins, as in a shell
    }
    return result;
}

SystemInfo QuerySystemInfo(const std::string& osReleasePath) {
    SystemInfo info;
    if (const auto text = ReadRegularFile(osReleasePath, 64 << 10)) {
        const std::string name = PrettyNameFromOsRelease(std::string(text->begin(), text->end()));
        if (!name.empty()) info.OS = name;
    }
    utsname u{};
    if (::uname(&u) == 0) {
        info.Platform = std::string(u.sysname) + " " + u.machine;
        info.Version = u.release;
    }
    return info;
}

}  // namespace kolvex
