// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/FileOps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/SafeFile.h"
#include "base/ReadFile.h"

namespace kolvex {

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DeleteFileIfExists(const std::string& path) {
    if (::unlink(path.c_str()) == 0) return true;
    return errno == ENOENT;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

namespace {
std::size_t ExtensionDot(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string::npos;
    // A leading dot names a hidden file, not an extension.
    if (dot == (slash == std::string::npos ? 0 : slash + 1)) return std::string::npos;
    return dot;
}
}  // namespace

std::string ReplaceExtension(const std::string& path, const std::string& ext) {
    const std::size_t dot = ExtensionDot(path);
    return (dot == std::string::npos ? path : path.substr(0, dot)) + ext;
}

std::string ExtractFileName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFileDir(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string ExtractFileExt(const std::string& path) {
    const std::size_t dot = ExtensionDot(path);
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string TemporaryPathFor(const std::string& path) { return TemporaryNameFor(path); }

void SyncFile(int fd) { (void)::fdatasync(fd); }

bool WriteFileAtomic(const std::string& path, const std::uint8_t* data, std::size_t size) {
    // A symbolic link at the name is refused, not replaced or followed.
    struct stat old {};
    const bool existed = ::lstat(path.c_str(), &old) == 0;
    if (existed && S_ISLNK(old.st_mode)) {
        errno = ELOOP;
        return false;
    }
    std::string tmp;
    UniqueFd fd = CreateTemporaryBeside(path, tmp);
    if (!fd) return false;
    // errno keeps the reason of a failure for the caller's message.
    auto fail = [&] {
        const int e = errno;
        fd.Reset();
        ::unlink(tmp.c_str());
        errno = e;
        return false;
    };
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd.Get(), data + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENOSPC;
        if (n <= 0) return fail();
        done += static_cast<std::size_t>(n);
    }
    if (existed && S_ISREG(old.st_mode)) KeepModeAndOwner(fd.Get(), old);
    if (::fdatasync(fd.Get()) != 0 && errno != EINVAL) return fail();
    if (!fd.Close()) return fail();
    if (::rename(tmp.c_str(), path.c_str()) != 0) return fail();
    SyncDirectoryOf(path);
    return true;
}

std::optional<std::vector<std::uint8_t>> ReadFileHead(const std::string& path, std::size_t maxBytes) {
    return ReadRegularFile(path, maxBytes);
}

}  // namespace kolvex
