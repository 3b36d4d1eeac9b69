// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files that nobody else can redirect: every file this program creates is
// created exclusively and without following a symbolic link, temporary files
// get unpredictable names that fit the file-name limit, and a rewrite keeps
// the mode (and, where permitted, the owner) of the file it replaces.
// UniqueFd owns one file descriptor.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

struct stat;

namespace kolvex {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& o) noexcept : fd_(o.Release()) {}
    UniqueFd& operator=(UniqueFd&& o) noexcept {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    explicit operator bool() const { return Valid(); }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the descriptor held (keeping errno) and takes fd.
    void Reset(int fd = -1);
    // Closes now; false (with errno) when the close reports an error.
    bool Close();

private:
    int fd_ = -1;
};

// Lower-case hexadecimal digits from the system's random source.
std::string RandomHex(std::size_t digits);

// Creates path for reading and writing; fails (errno EEXIST or ELOOP) when anything,
// a symbolic link included, already bears the name.
UniqueFd CreateNewFile(const std::string& path, mode_t mode = 0666);

// The longest file name the folders here take, in bytes.
inline constexpr std::size_t kMaxFileName = 255;

// A temporary name beside path: the file name, shortened when needed so that
// the whole name stays within kMaxFileName (its extension is kept), then
// ".tmp~" + this process's id + "-" + 16 random hex digits.
std::string TemporaryNameFor(const std::string& path);

// Creates a fresh temporary file beside path (see TemporaryNameFor); its
// name goes to tmpPath. Invalid (with errno) when none can be created.
UniqueFd CreateTemporaryBeside(const std::string& path, std::string& tmpPath, mode_t mode = 0666);

// Gives fd the permission bits and, where permitted, the owner and group of
// the file described by old.
void KeepModeAndOwner(int fd, const struct stat& old);

// True when path itself (not what it points to) is a symbolic link.
bool IsSymbolicLink(const std::string& path);

// n bytes at offset off, across short transfers and interruptions; false
// with errno set (0 when the file ends first).
bool PreadAll(int fd, void* buf, std::size_t n, std::int64_t off);
bool PwriteAll(int fd, const void* buf, std::size_t n, std::int64_t off);

// Makes a new or removed name in path's folder durable.
void SyncDirectoryOf(const std::string& path);

// A file written under a temporary name beside its target, which it takes
// only once complete and on disk: a symbolic link or anything but a regular
// file at the name is refused, a file that is replaced keeps its mode and
// owner, a new file does not replace what appeared at the name meanwhile,
// and the temporary file is removed unless it took the name.
class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Creates the temporary file for path; the reason when it cannot
    // (empty on success).
    std::string Begin(const std::string& path);
    int Fd() const { return fd_.Get(); }
    // The temporary file's name, for a writer that opens the file itself.
    const std::string& TemporaryPath() const { return temp_; }
    // Syncs, closes and renames the file to its target; the reason when a
    // step fails (empty on success), the temporary file then removed.
    std::string Commit();

private:
    std::string path_, temp_;
    UniqueFd fd_;
    bool existed_ = false;
};

// The reason of errno err for a message; a refused symbolic link says so.
std::string FileErrorText(int err);

}  // namespace kolvex
