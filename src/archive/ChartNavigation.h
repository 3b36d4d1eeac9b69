// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The viewer chart's range rules without any toolkit: the margins of 1/33
// added after loading, the horizontal navigation (start, end, stepping with
// the limited step, zoom, 100 %), the minimum range width, and the title
// texts.

#include <string>

#include "base/Language.h"

namespace kolvex {

struct AxisRange {
    double Min = 0, Max = 0;
    double Span() const { return Max - Min; }
};

// A range set from two ends in either order; narrower than 1e-10 is widened.
AxisRange MakeRange(double a, double b);
// The bottom axis after loading: end += (end - start) / 33, then
// start -= (end - start) / 33 with the new end.
AxisRange TimeAxisWithMargins(double start, double end);
// A vertical axis: max += (max - min) / 33, then min -= (max - min) / 33.
AxisRange ValueAxisWithMargins(AxisRange r);

// Horizontal navigation over [chart start, chart end].
class ChartNavigator {
public:
    void SetLimits(double chartStart, double chartEnd) {
        start_ = chartStart;
        end_ = chartEnd;
    }
    double ChartStart() const { return start_; }
    double ChartEnd() const { return end_; }

    AxisRange ToStart(const AxisRange& view) const;
    AxisRange ToEnd(const AxisRange& view) const;
    AxisRange ZoomOut(const AxisRange& view) const;
    AxisRange ZoomIn(const AxisRange& view) const;
    AxisRange FullWidth() const { return MakeRange(start_, end_); }

    // A press of prior (-1) or next (+1): the step is span / 25 of the view at
    // the press; the first step is made at once, then one per repeat tick.
    void Press(int direction, const AxisRange& view);
    // One step; the step is limited so the view never leaves the chart, and
    // the limited step stays in force for the rest of the press.
    AxisRange Step(const AxisRange& view);
    double CurrentStep() const { return step_; }

private:
    double start_ = 0, end_ = 0;
    double step_ = 0;
};

// "QUENDAL 730            soubor  : " + file (Czech), "... file    : " (English).
std::string ChartTitle(const std::string& fileName, Lang lang);
// label + "   (" + unit + ")"
std::string AxisTitle(const std::string& label, const std::string& unit);

}  // namespace kolvex
