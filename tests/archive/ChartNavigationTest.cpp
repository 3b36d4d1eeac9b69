// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer chart's margins and navigation.

#include <gtest/gtest.h>

#include "archive/ChartNavigation.h"

using namespace kolvex;

TEST(ChartRanges, MarginsOfOneThirtyThird) {
    AxisRange t = TimeAxisWithMargins(0, 33);
    EXPECT_DOUBLE_EQ(t.Max, 34);
    EXPECT_DOUBLE_EQ(t.Min, -34.0 / 33);
    AxisRange v = ValueAxisWithMargins({0, 100});
    EXPECT_NEAR(v.Max, 103.0303, 1e-3);
    EXPECT_NEAR(v.Min, -3.1221, 1e-3);
    // A single record: zero width is widened to 1e-10.
    t = TimeAxisWithMargins(5, 5);
    EXPECT_DOUBLE_EQ(t.Min, 5);
    EXPECT_NEAR(t.Span(), 1e-10, 1e-15);
    // Ends in either order.
    EXPECT_DOUBLE_EQ(MakeRange(3, 1).Min, 1);
}

TEST(ChartRanges, HoldingNextStopsExactlyAtTheEnd) {
    ChartNavigator nav;
    nav.SetLimits(0, 100);
    AxisRange view{0, 10};
    nav.Press(+1, view);
    EXPECT_DOUBLE_EQ(nav.CurrentStep(), 0.4);
    int ticks = 0;
    while (view.Max < 100 && ticks < 1000) {
        view = nav.Step(view);
        ++ticks;
    }
    EXPECT_DOUBLE_EQ(view.Max, 100);
    EXPECT_NEAR(view.Min, 90, 1e-9);
    EXPECT_EQ(ticks, 225);
    // Further ticks of the same press stay at the end.
    view = nav.Step(view);
    EXPECT_DOUBLE_EQ(view.Max, 100);
    // Prior from near the start is limited to the start.
    view = {0.2, 10.2};
    nav.Press(-1, view);
    view = nav.Step(view);
    EXPECT_DOUBLE_EQ(view.Min, 0);
    EXPECT_DOUBLE_EQ(nav.CurrentStep(), -0.2);
}

TEST(ChartRanges, ZoomAndJumps) {
    ChartNavigator nav;
    nav.SetLimits(0, 100);
    AxisRange v{40, 60};
    const AxisRange in = nav.ZoomIn(v);
    EXPECT_DOUBLE_EQ(in.Min, 42);
    EXPECT_DOUBLE_EQ(in.Max, 58);
    const AxisRange out = nav.ZoomOut(in);  // does not restore exactly
    EXPECT_DOUBLE_EQ(out.Min, 40.4);
    EXPECT_DOUBLE_EQ(out.Max, 59.6);
    EXPECT_DOUBLE_EQ(nav.ToStart(v).Min, 0);
    EXPECT_DOUBLE_EQ(nav.ToStart(v).Max, 20);
    EXPECT_DOUBLE_EQ(nav.ToEnd(v).Min, 80);
    EXPECT_DOUBLE_EQ(nav.FullWidth().Max, 100);
    EXPECT_EQ(ChartTitle("a.dbf", Lang::Czech), "QUENDAL 730            soubor  : a.dbf");
    EXPECT_EQ(ChartTitle("a.dbf", Lang::English), "QUENDAL 730            file    : a.dbf");
    EXPECT_EQ(AxisTitle("Teplota", "°C"), "Teplota   (°C)");
}
