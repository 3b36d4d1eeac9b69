// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WorkFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/Errors.h"
#include "base/Language.h"

namespace kolvex {

namespace {

bool Absolute(const char* path) { return path && path[0] == '/'; }

std::string Join(std::string base, const char* tail) {
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (base != "/") base += '/';
    return base + tail;
}

[[noreturn]] void Fail(const std::string& folder, int err) {
    throw EKolvex(Tr("Datovou složku \"", "Cannot use the data folder \"") + folder +
                  Tr("\" nelze použít: ", "\": ") + std::strerror(err));
}

}  // namespace

std::string UserDataFolder(const char* xdgDataHome, const char* home) {
    // Relative values of the variable are invalid and are ignored.
    if (Absolute(xdgDataHome)) return Join(xdgDataHome, "kolvex12");
    if (Absolute(home)) return Join(home, ".local/share/kolvex12");
    return {};
}

std::string UserDataFolder() {
    const char* home = std::getenv("HOME");
    if (!Absolute(home)) {
        if (const passwd* pw = ::getpwuid(::getuid())) home = pw->pw_dir;
    }
    return UserDataFolder(std::getenv("XDG_DATA_HOME"), home);
}

void EnterFolder(const std::string& folder) {
    if (folder.empty()) throw EKolvex(Tr("Domovská složka uživatele není známa", "The user's home folder is unknown"));
    // Create every missing level; the parents as the user's mask allows, the
    // folder itself private (0700), as the base directory rules ask.
    for (std::size_t pos = folder.find('/', 1);; pos = folder.find('/', pos + 1)) {
        const std::string level = folder.substr(0, pos);
        const bool last = pos == std::string::npos;
        if (!level.empty() && ::mkdir(level.c_str(), last ? 0700 : 0777) != 0 && errno != EEXIST) Fail(level, errno);
        if (last) break;
    }
    if (::chdir(folder.c_str()) != 0) Fail(folder, errno);
}

}  // namespace kolvex
