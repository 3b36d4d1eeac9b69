// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pictures of the viewer's buttons, drawn here in one style: the record
// navigator's triangles, the chart's scroll, zoom, 100 % and settings
// buttons, so the two button rows read alike whatever icon theme is installed.

#include <QIcon>

namespace kolvex::ui {

enum class ViewerGlyph {
    First, Prior, Next, Last,              // record navigator
    ChartStart, ChartPrior, ChartNext, ChartEnd,
    Refresh, ZoomOut, ZoomIn, FullWidth, FullHeight, Settings,
};

QIcon ViewerIcon(ViewerGlyph glyph);

}  // namespace kolvex::ui
