// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the program owns for its whole run and hands to the windows that need
// it: the port, the logger data and operations, the configuration record and
// the data module. Windows of a lower layer take the part of it their layer
// knows (LoggerContext, ArchiveContext).

#include "archive/ArchiveContext.h"

namespace kolvex {

struct AppContext : ArchiveContext {};

}  // namespace kolvex
