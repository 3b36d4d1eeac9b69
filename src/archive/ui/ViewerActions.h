// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the archive viewer's buttons open beyond the viewer itself: the chart
// settings, the table print and the export dialogs. The creator of the viewer
// supplies them, so the viewer knows nothing of the windows that offer them;
// a button whose action is missing stays disabled.

#include <QString>

#include <functional>

class QWidget;

namespace kolvex::ui {

struct ViewerActions {
    // The chart settings over `parent`; true when confirmed (the chart is
    // then loaded again).
    std::function<bool(QWidget* parent)> ChartSettings;
    // The table print and the export over `parent`; each returns the status
    // line it leaves ("" for none).
    std::function<QString(QWidget* parent)> PrintTable;
    std::function<QString(QWidget* parent)> ExportTable;
};

}  // namespace kolvex::ui
