// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/SafeFile.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "base/Language.h"

namespace kolvex {

void UniqueFd::Reset(int fd) {
    if (fd_ >= 0 && fd_ != fd) {
        const int e = errno;
        ::close(fd_);
        errno = e;
    }
    fd_ = fd;
}

bool UniqueFd::Close() {
    if (fd_ < 0) return true;
    const int fd = Release();
    return ::close(fd) == 0;
}

std::string RandomHex(std::size_t digits) {
    static const char* const kHex = "0123456789abcdef";
    std::string out;
    out.reserve(digits);
    unsigned char buf[32];
    while (out.size() < digits) {
        const std::size_t want = std::min(sizeof buf, (digits - out.size() + 1) / 2);
        ssize_t got = ::getrandom(buf, want, 0);
        if (got <= 0) {
            // No random source: the C++ one still is not guessable from outside.
            std::random_device rd;
            for (std::size_t i = 0; i < want; ++i) buf[i] = static_cast<unsigned char>(rd());
            got = static_cast<ssize_t>(want);
        }
        for (ssize_t i = 0; i < got && out.size() < digits; ++i) {
            out += kHex[buf[i] >> 4];
            if (out.size() < digits) out += kHex[buf[i] & 15];
        }
    }
    return out;
}

UniqueFd CreateNewFile(const std::string& path, mode_t mode) {
    return UniqueFd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
}

namespace {

// Cuts s to at most n bytes without splitting a UTF-8 sequence.
std::string CutUtf8(const std::string& s, std::size_t n) {
    if (s.size() <= n) return s;
    std::size_t k = n;
    while (k > 0 && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80) --k;
    return s.substr(0, k);
}

}  // namespace

std::string TemporaryNameFor(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string suffix = ".tmp~" + std::to_string(::getpid()) + "-" + RandomHex(16);
    if (name.size() + suffix.size() > kMaxFileName) {
        // Shorten the stem, keep the extension (it tells what the file is).
        const std::size_t dot = name.find_last_of('.');
        std::string ext = dot != std::string::npos && dot > 0 && name.size() - dot <= 8 ? name.substr(dot) : "";
        const std::string stem = name.substr(0, name.size() - ext.size());
        name = CutUtf8(stem, kMaxFileName - suffix.size() - ext.size()) + ext;
    }
    return dir + name + suffix;
}

UniqueFd CreateTemporaryBeside(const std::string& path, std::string& tmpPath, mode_t mode) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        tmpPath = TemporaryNameFor(path);
        UniqueFd fd = CreateNewFile(tmpPath, mode);
        if (fd || errno != EEXIST) return fd;
    }
    return UniqueFd();
}

void KeepModeAndOwner(int fd, const struct stat& old) {
    // The owner first: a change of owner may clear set-id bits.
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) (void)!::fchown(fd, old.st_uid, old.st_gid);
    (void)::fchmod(fd, old.st_mode & 07777);
}

bool IsSymbolicLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool PreadAll(int fd, void* buf, std::size_t n, std::int64_t off) {
    auto* p = static_cast<std::uint8_t*>(buf);
    for (std::size_t done = 0; done < n;) {
        const ssize_t r = ::pread(fd, p + done, n - done, static_cast<off_t>(off + static_cast<std::int64_t>(done)));
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) errno = 0;
        if (r <= 0) return false;
        done += static_cast<std::size_t>(r);
    }
    return true;
}

bool PwriteAll(int fd, const void* buf, std::size_t n, std::int64_t off) {
    const auto* p = static_cast<const std::uint8_t*>(buf);
    for (std::size_t done = 0; done < n;) {
        const ssize_t r = ::pwrite(fd, p + done, n - done, static_cast<off_t>(off + static_cast<std::int64_t>(done)));
        if (r < 0 && errno == EINTR) continue;
        if (r == 0) errno = 0;
        if (r <= 0) return false;
        done += static_cast<std::size_t>(r);
    }
    return true;
}

void SyncDirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int d = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (d >= 0) {
        (void)::fsync(d);
        ::close(d);
    }
}

ReplacingFile::~ReplacingFile() {
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

std::string ReplacingFile::Begin(const std::string& path) {
    path_ = path;
    struct stat old {};
    existed_ = ::lstat(path.c_str(), &old) == 0;
    if (existed_ && S_ISLNK(old.st_mode)) return FileErrorText(ELOOP);
    if (existed_ && !S_ISREG(old.st_mode)) return Tr("není obyčejný soubor", "not a regular file");
    fd_ = CreateTemporaryBeside(path, temp_);
    if (!fd_) {
        const int e = errno;
        temp_.clear();
        return FileErrorText(e);
    }
    if (existed_) KeepModeAndOwner(fd_.Get(), old);
    return {};
}

std::string ReplacingFile::Commit() {
    if (::fdatasync(fd_.Get()) != 0 && errno != EINVAL) return FileErrorText(errno);
    if (!fd_.Close()) return FileErrorText(errno);
    bool named = false;
    if (existed_) {
        named = ::rename(temp_.c_str(), path_.c_str()) == 0;
    } else {
        // Nothing that appeared at the name meanwhile is replaced.
        named = ::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, path_.c_str(), RENAME_NOREPLACE) == 0;
        if (!named && (errno == EINVAL || errno == ENOSYS)) named = ::rename(temp_.c_str(), path_.c_str()) == 0;
    }
    if (!named) return FileErrorText(errno);
    temp_.clear();
    SyncDirectoryOf(path_);
    return {};
}

std::string FileErrorText(int err) {
    if (err == ELOOP || err == EMLINK)
        return Tr("na místě souboru je symbolický odkaz, přes který se nezapisuje",
                  "a symbolic link stands at that name, and nothing is written through it");
    return std::strerror(err);
}

}  // namespace kolvex
