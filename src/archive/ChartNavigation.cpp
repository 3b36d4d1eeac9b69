// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ChartNavigation.h"

#include <cmath>

namespace kolvex {

namespace {
constexpr double kMinWidth = 1e-10;
}

AxisRange MakeRange(double a, double b) {
    AxisRange r{a < b ? a : b, a < b ? b : a};
    if (r.Max - r.Min < kMinWidth) r.Max = r.Min + kMinWidth;
    return r;
}

AxisRange TimeAxisWithMargins(double start, double end) {
    end = end + (end - start) / 33;
    start = start - (end - start) / 33;
    return MakeRange(start, end);
}

AxisRange ValueAxisWithMargins(AxisRange r) {
    r.Max = r.Max + (r.Max - r.Min) / 33;
    r.Min = r.Min - (r.Max - r.Min) / 33;
    return MakeRange(r.Min, r.Max);
}

AxisRange ChartNavigator::ToStart(const AxisRange& v) const { return MakeRange(start_, start_ + v.Span()); }
AxisRange ChartNavigator::ToEnd(const AxisRange& v) const { return MakeRange(end_ - v.Span(), end_); }

AxisRange ChartNavigator::ZoomOut(const AxisRange& v) const {
    const double d = v.Span() / 10;
    return MakeRange(v.Min - d, v.Max + d);
}

AxisRange ChartNavigator::ZoomIn(const AxisRange& v) const {
    const double d = v.Span() / 10;
    return MakeRange(v.Min + d, v.Max - d);
}

void ChartNavigator::Press(int direction, const AxisRange& view) { step_ = direction * view.Span() / 25; }

AxisRange ChartNavigator::Step(const AxisRange& v) {
    if (v.Min + step_ < start_) step_ = start_ - v.Min;
    else if (v.Max + step_ > end_) step_ = end_ - v.Max;
    return MakeRange(v.Min + step_, v.Max + step_);
}

std::string ChartTitle(const std::string& fileName, Lang lang) {
    return Tr(lang, "QUENDAL 730            soubor  : ", "QUENDAL 730            file    : ") + fileName;
}

std::string AxisTitle(const std::string& label, const std::string& unit) { return label + "   (" + unit + ")"; }

}  // namespace kolvex
