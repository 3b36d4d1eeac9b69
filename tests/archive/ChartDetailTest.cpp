// SPDX-License-Identifier: GPL-3.0-or-later
// The chart's level of detail: every point while there are few, per pixel
// the extremes of many (a spike is never lost), the points of a narrow view
// read again, and unsorted points.

#include <gtest/gtest.h>

#include <algorithm>

#include "archive/ChartDetail.h"

using namespace kolvex;

namespace {

// n points, one a second from key 0, series 0 a slow ramp, series 1 = -series 0,
// with single-point spikes in series 0 at `spikes`.
ChartDetail Load(std::int64_t n, const std::vector<std::int64_t>& spikes = {}) {
    ChartDetail d;
    for (std::int64_t i = 0; i < n; ++i) {
        double v = static_cast<double>(i % 1000) / 100;
        if (std::find(spikes.begin(), spikes.end(), i) != spikes.end()) v = 1e6;
        d.Add(i + 1, static_cast<double>(i), v, -v);
    }
    return d;
}

bool Ascending(const std::vector<ChartPoint>& p) {
    return std::is_sorted(p.begin(), p.end(), [](const ChartPoint& a, const ChartPoint& b) { return a.Key < b.Key; });
}

}  // namespace

TEST(ChartDetail, EveryPointWhileFew) {
    const auto n = static_cast<std::int64_t>(ChartDetail::kFullDetail);
    const ChartDetail d = Load(n);
    EXPECT_FALSE(d.Reduced());
    std::vector<ChartPoint> out[2];
    for (double hi : {10.0, static_cast<double>(n)}) {
        d.Points(0, hi, 800, {}, out);
        ASSERT_EQ(out[0].size(), static_cast<std::size_t>(n));
        EXPECT_EQ(out[0][123], (ChartPoint{123, 1.23}));
        EXPECT_EQ(out[1][123], (ChartPoint{123, -1.23}));
    }
}

TEST(ChartDetail, ExtremesPerPixelAndNarrowViewsReadAgain) {
    const std::int64_t n = 1'000'003;
    const std::vector<std::int64_t> spikes = {0, 77'777, 500'001, n - 1};
    const ChartDetail d = Load(n, spikes);
    ASSERT_TRUE(d.Reduced());
    EXPECT_LT(d.MemoryBytes(), static_cast<std::size_t>(n) * 4);
    std::int64_t fetchedFirst = 0, fetchedLast = 0;
    const ChartDetail::Fetch fetch = [&](std::int64_t first, std::int64_t last, std::vector<ChartPoint>(&out)[2]) {
        fetchedFirst = first;
        fetchedLast = last;
        for (std::int64_t r = first; r <= last; ++r) out[0].push_back({static_cast<double>(r - 1), 0});
    };
    struct Case {
        double Lo, Hi;
        bool Fetched;
    } cases[] = {{0, static_cast<double>(n), false}, {70'000, 600'000, false}, {77'000, 78'000, true},
                 {n - 100.0, n + 100.0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Lo);
        fetchedFirst = fetchedLast = 0;
        std::vector<ChartPoint> out[2];
        d.Points(c.Lo, c.Hi, 1000, fetch, out);
        EXPECT_TRUE(Ascending(out[0]));
        EXPECT_EQ(fetchedFirst > 0, c.Fetched);
        if (c.Fetched) {
            // The records of the view and some either side, every one.
            EXPECT_LE(fetchedFirst - 1, c.Lo);
            EXPECT_GE(fetchedLast - 1, std::min(c.Hi, n - 1.0));
            EXPECT_EQ(out[0].size(), static_cast<std::size_t>(fetchedLast - fetchedFirst + 1));
            continue;
        }
        EXPECT_LE(out[0].size(), 2 * 1000u + 8);
        EXPECT_EQ(out[0].size(), out[1].size());
        // Every spike in the view is drawn, and the lowest values too.
        for (std::int64_t s : spikes) {
            const bool inView = s >= c.Lo && s <= c.Hi;
            const bool drawn = std::count(out[0].begin(), out[0].end(), ChartPoint{static_cast<double>(s), 1e6}) == 1;
            const bool mirrored =
                std::count(out[1].begin(), out[1].end(), ChartPoint{static_cast<double>(s), -1e6}) == 1;
            if (inView) {
                EXPECT_TRUE(drawn && mirrored) << s;
            }
        }
        EXPECT_TRUE(std::any_of(out[0].begin(), out[0].end(), [](const ChartPoint& p) { return p.Value == 0; }));
    }
}

TEST(ChartDetail, UnsortedPointsShowEveryBlock) {
    ChartDetail d;
    const std::int64_t n = 100'000;
    for (std::int64_t i = 0; i < n; ++i) d.Add(i + 1, static_cast<double>((i * 7919) % n), i == 4242 ? -5.0 : 1.0, 0);
    EXPECT_FALSE(d.Sorted());
    std::vector<ChartPoint> out[2];
    d.Points(0, 10, 100, {}, out);
    EXPECT_GE(out[0].size(), static_cast<std::size_t>(n / ChartDetail::kBlock));
    EXPECT_EQ(std::count(out[0].begin(), out[0].end(), ChartPoint{static_cast<double>((4242 * 7919) % n), -5.0}), 1);
}
