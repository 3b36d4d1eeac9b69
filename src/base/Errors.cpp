// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Errors.h"

namespace kolvex {

std::string WithFullStop(const std::string& message) {
    if (message.empty()) return message;
    // Decode the last UTF-8 code point; any multi-byte character is above '.'.
    unsigned char last = static_cast<unsigned char>(message.back());
    if (last >= 0x80 || last > '.') return message + ".";
    return message;
}

}  // namespace kolvex
