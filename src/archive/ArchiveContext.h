// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the archive and output windows share: the logger context and the data
// module (the open archive table, the temporary download table and the open
// table's parameter record). The desktop program installs its question boxes
// with Adm.SetAnswerer.

#include "archive/Adm.h"
#include "logger/LoggerContext.h"

namespace kolvex {

struct ArchiveContext : LoggerContext {
    TADM Adm;
};

}  // namespace kolvex
