// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the configuration file reader: any bytes as "kolvex12.cfg" are
// decoded, encoded and decoded again; the second encoding must equal the
// first (what one save wrote, the next load and save keep).
#include <cstdint>
#include <cstdlib>

#include "base/ConfigRecord.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const kolvex::ConfigRecord first = kolvex::ConfigRecord::Decode(data, size);
    const auto once = first.Encode();
    const kolvex::ConfigRecord second = kolvex::ConfigRecord::Decode(once.data(), once.size());
    const auto twice = second.Encode();
    if (once != twice) std::abort();
    return 0;
}
