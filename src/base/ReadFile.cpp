// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/ReadFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/Language.h"

namespace kolvex {

ReadableFile OpenRegularFile(const std::string& path, bool writable) {
    ReadableFile f;
    if (path.empty()) {
        f.Result = ReadOpen::Missing;
        f.Error = ENOENT;
        return f;
    }
    // O_NONBLOCK: opening a named pipe without a writer returns at once
    // instead of waiting for one.
    const int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        f.Error = errno;
        f.Result = f.Error == ENOENT || f.Error == ENOTDIR ? ReadOpen::Missing : ReadOpen::Failed;
        return f;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        f.Error = errno;
        ::close(fd);
        return f;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        f.Result = ReadOpen::NotRegular;
        return f;
    }
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    f.Fd = fd;
    f.Size = st.st_size;
    f.Result = ReadOpen::Opened;
    return f;
}

bool IsReadableRegularFile(const std::string& path) {
    const ReadableFile f = OpenRegularFile(path);
    if (f.Fd >= 0) ::close(f.Fd);
    return f.Result == ReadOpen::Opened;
}

std::string NotRegularFileMessage(const std::string& path) {
    return Tr("Soubor  " + path + "  není obyčejný soubor a nebude čten",
              "The file  " + path + "  is not a regular file and is not read");
}

std::string ReadFailureMessage(const std::string& path, const ReadableFile& file) {
    if (file.Result == ReadOpen::NotRegular) return NotRegularFileMessage(path);
    return Tr("Soubor  " + path + "  se nepodařilo otevřít: ", "The file  " + path + "  was not opened: ") +
           std::strerror(file.Error ? file.Error : EIO);
}

std::optional<std::vector<std::uint8_t>> ReadRegularFile(const std::string& path, std::size_t maxBytes,
                                                         std::string* refusal) {
    if (refusal) refusal->clear();
    const ReadableFile f = OpenRegularFile(path);
    if (f.Result != ReadOpen::Opened) {
        if (refusal && f.Result != ReadOpen::Missing) *refusal = ReadFailureMessage(path, f);
        return std::nullopt;
    }
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(
        std::min<std::uint64_t>(maxBytes, static_cast<std::uint64_t>(f.Size > 0 ? f.Size : 0) + 1)));
    std::size_t done = 0;
    for (;;) {
        if (done == buf.size()) {
            if (buf.size() >= maxBytes) break;
            buf.resize(std::min<std::size_t>(maxBytes, buf.size() * 2 + 4096));
        }
        const ssize_t n = ::read(f.Fd, buf.data() + done, buf.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const ReadableFile failed{-1, ReadOpen::Failed, errno, 0};
            ::close(f.Fd);
            if (refusal) *refusal = ReadFailureMessage(path, failed);
            return std::nullopt;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(f.Fd);
    buf.resize(done);
    return buf;
}

}  // namespace kolvex
