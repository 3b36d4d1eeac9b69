// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SHA-256 digests (through the system's libcrypto) as lower-case hex text.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kolvex {

std::string Sha256Hex(std::string_view bytes);

// Size and digest of a regular file, read without following a symbolic link
// and without blocking; nullopt with errno set when it cannot be read.
struct FileDigest {
    std::uint64_t Size = 0;
    std::string Sha256;
};
std::optional<FileDigest> DigestFile(const std::string& path);

}  // namespace kolvex
