// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The archive viewer's actions that open this layer's dialogs: the chart
// settings, the table print and the export. Whoever creates a viewer hands
// these to it.

#include "archive/ArchiveContext.h"
#include "archive/ui/ViewerActions.h"

namespace kolvex::ui {

ViewerActions MakeViewerActions(kolvex::ArchiveContext& ctx);

}  // namespace kolvex::ui
