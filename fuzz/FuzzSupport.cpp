// SPDX-License-Identifier: GPL-3.0-or-later
#include "FuzzSupport.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace kolvex::fuzz {

namespace {
std::string g_folder;

void RemoveFolder() {
    std::error_code ignored;
    if (!g_folder.empty()) std::filesystem::remove_all(g_folder, ignored);
}
}  // namespace

const std::string& TargetFolder(const char* name) {
    if (g_folder.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/kolvex-fuzz-" + name + "-XXXXXX";
        if (!::mkdtemp(pattern.data())) std::abort();
        g_folder = pattern;
        std::atexit(RemoveFolder);
    }
    return g_folder;
}

}  // namespace kolvex::fuzz

// Syncing to disk is replaced in the targets (the link redirects the calls
// here): a fuzz input never needs to survive a crash, and a sync per input
// would cut the runs to a few a second.
extern "C" int __wrap_fsync(int) { return 0; }
extern "C" int __wrap_fdatasync(int) { return 0; }
