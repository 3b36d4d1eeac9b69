// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One writer per table. Every write to a table or its parameter file (the
// download's read-compare-append-rename sequence, record deletion and pack,
// repair, conversion, the parameter file written when a table closes) holds
// the table's exclusive lock for the whole sequence. A second writer waits
// as the process's busy handler says; readers take no lock. Several tables
// are locked in one fixed order, so two writers never wait for each other.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/LockFile.h"

namespace kolvex {

// Another run holds the table's lock and the busy handler gave up.
class ETableBusy : public EADM {
public:
    explicit ETableBusy(const std::string& message) : EADM(message) {}
};

// Called while another run holds the lock of path (holder: "program (PID n)"),
// after waitedSeconds of waiting; true tries again, false gives up.
using TableBusyHandler = std::function<bool(const std::string& path, const std::string& holder, double waitedSeconds)>;

// The handler of this process. The default one waits up to the seconds of
// SetTableLockWait (30 unless set), trying again every 100 ms.
void SetTableBusyHandler(TableBusyHandler handler);
void SetTableLockWait(int seconds);

// The message of a table held by holder.
std::string TableBusyText(const std::string& path, const std::string& holder);

class TableLocks {
public:
    TableLocks() = default;
    // Takes the locks of the tables (waiting as the handler says); throws
    // ETableBusy naming the holder, or EADM when a lock cannot be made.
    explicit TableLocks(std::vector<std::string> tablePaths);
    TableLocks(TableLocks&&) = default;
    TableLocks& operator=(TableLocks&&) = default;
    void Release() { held_.clear(); }

private:
    std::vector<std::unique_ptr<LockFile>> held_;
};

// The lock of one table.
inline TableLocks LockTable(const std::string& tablePath) { return TableLocks({tablePath}); }

}  // namespace kolvex
