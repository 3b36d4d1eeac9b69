// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the system information window shows: the operating system's name,
// its platform and its version. On Linux the name is the distribution's
// PRETTY_NAME, the platform the kernel name and machine, the version the
// kernel release. A field that cannot be found stays "unknown".

#include <string>
#include <string_view>

namespace kolvex {

struct SystemInfo {
    std::string OS = "unknown";
    std::string Platform = "unknown";
    std::string Version = "unknown";
};

SystemInfo QuerySystemInfo(const std::string& osReleasePath = "/etc/os-release");

// The value of PRETTY_NAME in the text of an os-release file (quotes and
// backslash escapes removed); empty when there is none.
std::string PrettyNameFromOsRelease(std::string_view content);

}  // namespace kolvex
