// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Exclusive advisory locks between runs of this program: one lock file per
// locked thing (a table, a port), created without following links, mode
// 0600, in $XDG_RUNTIME_DIR/kolvex12 (else the user's data folder). The
// holder writes its program name and process id into the file, so a run that
// finds the lock taken can say who holds it. Inside one process a lock is
// re-entrant for the thread that holds it.

#include <memory>
#include <string>

namespace kolvex {

// The folder of the lock files (created, mode 0700, when missing):
// $XDG_RUNTIME_DIR/kolvex12 when that variable names an absolute folder of
// ours, else $XDG_DATA_HOME/kolvex12 or ~/.local/share/kolvex12.
std::string LockFolder();

// The lock name of a device or file: by what the path resolves to (device
// number, or file system and inode), so every spelling of one port or file
// gives one name; by the text itself when nothing exists there.
std::string LockNameForDevice(const std::string& path);
// The lock name of a table: its folder's identity and its file name.
std::string LockNameForTable(const std::string& tablePath);

class LockFile {
public:
    ~LockFile();
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // Takes the named lock without waiting. Null when another holds it
    // (holder then says who, "program (PID n)"); throws std::runtime_error
    // with the path and reason when the lock file cannot be made.
    static std::unique_ptr<LockFile> TryTake(const std::string& name, std::string* holder = nullptr);

    const std::string& Name() const { return name_; }

private:
    explicit LockFile(std::string name) : name_(std::move(name)) {}
    std::string name_;
};

// The program name written into the lock files taken by this process.
void SetLockProgramName(const std::string& name);

}  // namespace kolvex
