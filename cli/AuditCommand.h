// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// kolvex12-cli audit: the audit trail of the working folder, listed or verified.

#include <string>
#include <vector>

#include "cli/Commands.h"

namespace kolvex::cli {

// audit [--from T] [--to T] [--json] | audit --verify [--json]
int RunAudit(const Options& options, const std::vector<std::string>& args);

}  // namespace kolvex::cli
