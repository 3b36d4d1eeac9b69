// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/PortNames.h"

#include <cctype>

namespace kolvex {

namespace {

std::string Upper(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return r;
}

struct AliasFamily {
    const char* alias;   // alias prefix
    const char* device;  // device path prefix
    int aliasBase;       // first alias number
};

// COM numbering starts at 1 for ttyS0; the others keep the device number.
constexpr AliasFamily kFamilies[] = {
    {"COM", "/dev/ttyS", 1},
    {"USB", "/dev/ttyUSB", 0},
    {"ACM", "/dev/ttyACM", 0},
};

}  // namespace

std::optional<std::string> DeviceForPort(std::string_view name, const SimulatedPortSource& simulated) {
    if (!name.empty() && name.front() == '/') return std::string(name);
    const std::string up = Upper(name);
    if (up == kSimulatedPort) {
        if (!simulated) return std::nullopt;
        std::string path = simulated();
        if (path.empty()) return std::nullopt;
        return path;
    }
    for (const auto& f : kFamilies) {
        const std::string_view prefix(f.alias);
        if (up.size() == prefix.size() + 1 && up.compare(0, prefix.size(), prefix) == 0) {
            const char d = up.back();
            if (d < '0' || d > '9') return std::nullopt;
            const int n = d - '0' - f.aliasBase;
            if (n < 0) return std::nullopt;
            return std::string(f.device) + std::to_string(n);
        }
    }
    return std::nullopt;
}

std::optional<std::string> AliasForDevice(std::string_view device) {
    for (const auto& f : kFamilies) {
        const std::string_view prefix(f.device);
        if (device.size() > prefix.size() && device.substr(0, prefix.size()) == prefix) {
            const std::string_view num = device.substr(prefix.size());
            if (num.size() != 1 || num[0] < '0' || num[0] > '9') return std::nullopt;
            const int n = (num[0] - '0') + f.aliasBase;
            if (n > 9) return std::nullopt;
            return std::string(f.alias) + std::to_string(n);
        }
    }
    return std::nullopt;
}

}  // namespace kolvex
