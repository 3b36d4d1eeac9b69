// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The viewer chart's points at the level of detail of the view. Loading
// keeps every point of the two series while there are few; beyond that it
// keeps, for each block of consecutive points, the record numbers, the time
// span and each series' lowest and highest point. A view then gets, per
// horizontal pixel, the lowest and the highest point of the points under it
// (so a spike is never lost), or every point once the view holds few enough
// of them, read again from the table.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace kolvex {

struct ChartPoint {
    double Key = 0, Value = 0;
    bool operator==(const ChartPoint&) const = default;
};

class ChartDetail {
public:
    // Up to this many points every point is kept (and shown at every zoom).
    static constexpr std::size_t kFullDetail = 32768;
    static constexpr std::size_t kBlock = 64;

    // Points of the two series of the records [first, last] (record numbers)
    // that the loading took, in table order.
    using Fetch = std::function<void(std::int64_t first, std::int64_t last, std::vector<ChartPoint> (&out)[2])>;

    void Clear();
    // Room for the blocks of about this many points.
    void Reserve(std::size_t points);
    // The point of the record `recNo` at `key` with the values of both series;
    // a NaN value is an empty one: that series gets no point (its line joins
    // the neighbours).
    void Add(std::int64_t recNo, double key, double value0, double value1) {
        // The usual case in line: a block with room, keys in order.
        if (!blocks_.empty() && blocks_.back().Count < kBlock && key >= lastKey_) {
            lastKey_ = key;
            ++count_;
            Block& b = blocks_.back();
            b.LastRec = recNo;
            b.LastKey = key;
            ++b.Count;
            if (value0 < b.Series[0].Min.Value) b.Series[0].Min = {key, value0};
            if (value0 > b.Series[0].Max.Value) b.Series[0].Max = {key, value0};
            if (value1 < b.Series[1].Min.Value) b.Series[1].Min = {key, value1};
            if (value1 > b.Series[1].Max.Value) b.Series[1].Max = {key, value1};
            return;
        }
        AddSlow(recNo, key, value0, value1);
    }

    // The line of both series breaks before the point at `key` (the records
    // either side lie too far apart); keys in ascending order.
    void AddBreak(double key) { breaks_.push_back(key); }

    std::size_t Count() const { return count_; }
    // Whether the keys never went down.
    bool Sorted() const { return sorted_; }
    // Whether the points are kept as blocks.
    bool Reduced() const { return !blocks_.empty(); }
    std::size_t MemoryBytes() const;

    // The points of the view [lo, hi] at `pixels` horizontal pixels (one
    // block either side included, so the lines run on to the edges). Empty
    // values give no point; a point with a NaN value stands where a line
    // breaks.
    void Points(double lo, double hi, int pixels, const Fetch& fetch, std::vector<ChartPoint> (&out)[2]) const;

private:
    struct Extremes {
        ChartPoint Min, Max;
    };
    struct Block {
        std::int64_t FirstRec = 0, LastRec = 0;
        double FirstKey = 0, LastKey = 0;
        std::uint32_t Count = 0;
        Extremes Series[2];
    };
    void AddSlow(std::int64_t recNo, double key, double value0, double value1);
    void AddToBlock(std::int64_t recNo, double key, const double (&v)[2]);
    static void Merge(Extremes& into, const Extremes& e);
    static void Emit(const Extremes& e, std::vector<ChartPoint>& out);
    // Drops the empty values and puts a break point where a break lies
    // between two points (sorted points only).
    void Shape(std::vector<ChartPoint>& points) const;
    void PointsRaw(double lo, double hi, int pixels, const Fetch& fetch, std::vector<ChartPoint> (&out)[2]) const;

    std::vector<ChartPoint> full_[2];
    std::vector<std::int64_t> fullRec_;
    std::vector<Block> blocks_;
    std::vector<double> breaks_;
    std::size_t count_ = 0;
    bool sorted_ = true;
    double lastKey_ = 0;
};

}  // namespace kolvex
