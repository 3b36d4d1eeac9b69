// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every fuzz target shares: its own temporary folder, removed when the
// run ends, so that a target leaves nothing behind.

#include <string>

namespace kolvex::fuzz {

// The target's folder ($TMPDIR or /tmp, "kolvex-fuzz-<name>-XXXXXX"),
// created at the first call and removed with everything in it at exit.
const std::string& TargetFolder(const char* name);

}  // namespace kolvex::fuzz
