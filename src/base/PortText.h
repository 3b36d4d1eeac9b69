// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text rules of port names that the configuration record needs as well as
// the link: whether a name is a path (or a network address) rather than a
// short alias, the alias under which the configuration keeps such a name, and
// the case-insensitive comparison.

#include <string_view>

namespace kolvex {

// The configuration's alias of a port kept in the companion file.
inline constexpr const char* kCompanionPortAlias = "DEV";

// True for a name that is a path (or an address) rather than a short alias.
bool IsDevicePath(std::string_view name);

// Case-insensitive comparison of port names.
bool SamePortName(std::string_view a, std::string_view b);

}  // namespace kolvex
