// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/PortText.h"

#include <cctype>

namespace kolvex {

bool IsDevicePath(std::string_view name) {
    return (!name.empty() && name.front() == '/') || name.find("://") != std::string_view::npos;
}

bool SamePortName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace kolvex
