// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/TableLock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "base/Language.h"

namespace kolvex {

namespace {

std::atomic<int> g_waitSeconds{30};

std::mutex& HandlerMutex() {
    static std::mutex m;
    return m;
}

TableBusyHandler& Handler() {
    static TableBusyHandler h;
    return h;
}

bool DefaultWait(double waited) {
    if (waited >= g_waitSeconds.load()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return true;
}

}  // namespace

void SetTableBusyHandler(TableBusyHandler handler) {
    std::lock_guard<std::mutex> g(HandlerMutex());
    Handler() = std::move(handler);
}

void SetTableLockWait(int seconds) { g_waitSeconds = std::max(0, seconds); }

std::string TableBusyText(const std::string& path, const std::string& holder) {
    return Tr("Do tabulky  " + path + "  právě zapisuje " + holder, "The table  " + path + "  is being written by " + holder);
}

TableLocks::TableLocks(std::vector<std::string> tablePaths) {
    // One lock per table identity, taken in the order of the lock names.
    std::map<std::string, std::string> byName;
    for (const auto& p : tablePaths) byName.emplace(LockNameForTable(p), p);
    const auto start = std::chrono::steady_clock::now();
    for (const auto& [name, path] : byName) {
        for (;;) {
            std::string holder;
            std::unique_ptr<LockFile> lock;
            try {
                lock = LockFile::TryTake(name, &holder);
            } catch (const std::exception& e) {
                throw EADM(e.what());
            }
            if (lock) {
                held_.push_back(std::move(lock));
                break;
            }
            const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            TableBusyHandler handler;
            {
                std::lock_guard<std::mutex> g(HandlerMutex());
                handler = Handler();
            }
            const bool again = handler ? handler(path, holder, waited) : DefaultWait(waited);
            if (!again) {
                const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                const std::string s = std::to_string(static_cast<long>(total + 0.5));
                throw ETableBusy(TableBusyText(path, holder) +
                                 Tr("; po " + s + " s čekání končím", "; gave up after " + s + " s of waiting"));
            }
        }
    }
}

}  // namespace kolvex
