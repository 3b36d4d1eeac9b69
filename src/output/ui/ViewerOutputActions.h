#pragma once
// The archive viewer's actions that open this layer's dialogs: the chart
// settings, the table print and the export. Whoever creates a viewer hands
// these to it.

#include "app/AppContext.h"
#include "archive/ui/ViewerActions.h"

namespace kolvex::ui {

ViewerActions MakeViewerActions(kolvex::AppContext& ctx);

}  // namespace kolvex::ui
