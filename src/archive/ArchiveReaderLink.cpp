// SPDX-License-Identifier: GPL-3.0-or-later
// The archive range read through the logger operations.
#include "archive/ArchiveReader.h"
#include "logger/LoggerOps.h"

namespace kolvex {

ArchiveReadResult ReadArchiveRange(LoggerOps& ops, const LoggerImage& image, std::uint32_t start,
                                   std::uint32_t end, std::uint32_t size, const ArchiveReadCallbacks& cb) {
    return ReadArchiveRange([&ops](std::uint32_t address) { return ops.ReadArchiveMemory(address); }, image, start,
                            end, size, cb);
}

}  // namespace kolvex
