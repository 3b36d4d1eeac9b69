// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Sha256.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include <openssl/evp.h>

namespace kolvex {

namespace {

struct Digest {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx{EVP_MD_CTX_new(), &EVP_MD_CTX_free};
    Digest() { EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr); }
    void Add(const void* p, std::size_t n) { EVP_DigestUpdate(ctx.get(), p, n); }
    std::string Hex() {
        unsigned char md[EVP_MAX_MD_SIZE];
        unsigned int len = 0;
        EVP_DigestFinal_ex(ctx.get(), md, &len);
        static const char* digits = "0123456789abcdef";
        std::string s;
        s.reserve(len * 2);
        for (unsigned i = 0; i < len; ++i) {
            s += digits[md[i] >> 4];
            s += digits[md[i] & 15];
        }
        return s;
    }
};

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
    Digest d;
    d.Add(bytes.data(), bytes.size());
    return d.Hex();
}

std::optional<FileDigest> DigestFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return std::nullopt;
    }
    Digest d;
    FileDigest out;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int e = errno;
            ::close(fd);
            errno = e;
            return std::nullopt;
        }
        d.Add(buf, static_cast<std::size_t>(n));
        out.Size += static_cast<std::uint64_t>(n);
    }
    ::close(fd);
    out.Sha256 = d.Hex();
    return out;
}

}  // namespace kolvex
