// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ChartDetail.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kolvex {

void ChartDetail::Clear() {
    for (auto& f : full_) std::vector<ChartPoint>().swap(f);
    std::vector<std::int64_t>().swap(fullRec_);
    std::vector<Block>().swap(blocks_);
    std::vector<double>().swap(breaks_);
    count_ = 0;
    sorted_ = true;
    lastKey_ = 0;
}

void ChartDetail::Reserve(std::size_t points) {
    if (points > kFullDetail) blocks_.reserve(points / kBlock + 1);
}

void ChartDetail::AddSlow(std::int64_t recNo, double key, double value0, double value1) {
    if (count_ > 0 && key < lastKey_) sorted_ = false;
    lastKey_ = key;
    ++count_;
    const double v[2] = {value0, value1};
    if (blocks_.empty()) {
        full_[0].push_back({key, value0});
        full_[1].push_back({key, value1});
        fullRec_.push_back(recNo);
        if (count_ <= kFullDetail) return;
        // Too many to keep each: the points so far become blocks.
        std::vector<ChartPoint> kept[2] = {std::move(full_[0]), std::move(full_[1])};
        const std::vector<std::int64_t> recs = std::move(fullRec_);
        const std::size_t room = blocks_.capacity();
        std::vector<double> breaks = std::move(breaks_);
        Clear();
        breaks_ = std::move(breaks);
        blocks_.reserve(std::max(room, kFullDetail * 4 / kBlock));
        for (std::size_t i = 0; i < recs.size(); ++i) {
            if (i > 0 && kept[0][i].Key < kept[0][i - 1].Key) sorted_ = false;
            const double w[2] = {kept[0][i].Value, kept[1][i].Value};
            AddToBlock(recs[i], kept[0][i].Key, w);
        }
        count_ = recs.size();
        lastKey_ = key;
        return;
    }
    AddToBlock(recNo, key, v);
}

void ChartDetail::AddToBlock(std::int64_t recNo, double key, const double (&v)[2]) {
    if (blocks_.empty() || blocks_.back().Count == kBlock) {
        Block b;
        b.FirstRec = recNo;
        b.FirstKey = key;
        // No value yet: an empty value never becomes an extreme.
        for (int s = 0; s < 2; ++s) {
            b.Series[s].Min = {key, std::numeric_limits<double>::infinity()};
            b.Series[s].Max = {key, -std::numeric_limits<double>::infinity()};
        }
        blocks_.push_back(b);
    }
    Block& b = blocks_.back();
    b.LastRec = recNo;
    b.LastKey = key;
    ++b.Count;
    for (int s = 0; s < 2; ++s) {
        if (v[s] < b.Series[s].Min.Value) b.Series[s].Min = {key, v[s]};
        if (v[s] > b.Series[s].Max.Value) b.Series[s].Max = {key, v[s]};
    }
}

std::size_t ChartDetail::MemoryBytes() const {
    return (full_[0].capacity() + full_[1].capacity()) * sizeof(ChartPoint) + fullRec_.capacity() * sizeof(std::int64_t) +
           blocks_.capacity() * sizeof(Block);
}

void ChartDetail::Merge(Extremes& into, const Extremes& e) {
    if (e.Min.Value < into.Min.Value) into.Min = e.Min;
    if (e.Max.Value > into.Max.Value) into.Max = e.Max;
}

void ChartDetail::Emit(const Extremes& e, std::vector<ChartPoint>& out) {
    if (e.Min.Value > e.Max.Value) return;  // only empty values
    if (e.Min == e.Max) {
        out.push_back(e.Min);
    } else if (e.Min.Key <= e.Max.Key) {
        out.push_back(e.Min);
        out.push_back(e.Max);
    } else {
        out.push_back(e.Max);
        out.push_back(e.Min);
    }
}

void ChartDetail::Shape(std::vector<ChartPoint>& points) const {
    std::size_t kept = 0;
    for (const ChartPoint& p : points)
        if (!std::isnan(p.Value)) points[kept++] = p;
    points.resize(kept);
    if (breaks_.empty() || !sorted_ || points.size() < 2) return;
    std::vector<ChartPoint> out;
    out.reserve(points.size() + 16);
    auto br = std::upper_bound(breaks_.begin(), breaks_.end(), points.front().Key);
    out.push_back(points.front());
    for (std::size_t i = 1; i < points.size(); ++i) {
        // A break key in (previous key, this key]: the line stops here.
        if (br != breaks_.end() && *br <= points[i].Key) {
            out.push_back({*br, std::numeric_limits<double>::quiet_NaN()});
            br = std::upper_bound(br, breaks_.end(), points[i].Key);
        }
        out.push_back(points[i]);
    }
    points.swap(out);
}

void ChartDetail::Points(double lo, double hi, int pixels, const Fetch& fetch, std::vector<ChartPoint> (&out)[2]) const {
    for (auto& o : out) o.clear();
    PointsRaw(lo, hi, pixels, fetch, out);
    for (auto& o : out) Shape(o);
}

void ChartDetail::PointsRaw(double lo, double hi, int pixels, const Fetch& fetch, std::vector<ChartPoint> (&out)[2]) const {
    if (!Reduced()) {
        for (int s = 0; s < 2; ++s) out[s] = full_[s];
        return;
    }
    std::size_t first = 0, last = blocks_.size() - 1;
    if (sorted_) {
        // The blocks the view touches, and one more either side.
        first = static_cast<std::size_t>(
            std::lower_bound(blocks_.begin(), blocks_.end(), lo, [](const Block& b, double k) { return b.LastKey < k; }) -
            blocks_.begin());
        last = static_cast<std::size_t>(
            std::upper_bound(blocks_.begin(), blocks_.end(), hi, [](double k, const Block& b) { return k < b.FirstKey; }) -
            blocks_.begin());
        first = first > 0 ? first - 1 : 0;
        last = std::min(last, blocks_.size() - 1);
        if (first > last) first = last;
        std::size_t points = 0;
        for (std::size_t i = first; i <= last && points <= kFullDetail; ++i) points += blocks_[i].Count;
        if (points <= kFullDetail && fetch) {
            fetch(blocks_[first].FirstRec, blocks_[last].LastRec, out);
            return;
        }
    }
    // Unsorted points have no view to narrow: every block shows its extremes.
    const std::size_t n = last - first + 1;
    const std::size_t buckets = sorted_ ? std::max<std::size_t>(static_cast<std::size_t>(std::max(pixels, 1)), 1) : n;
    const std::size_t per = (n + buckets - 1) / buckets;
    for (auto& o : out) o.reserve(4 * (n + per - 1) / per);
    for (std::size_t i = first; i <= last; i += per) {
        const std::size_t end = std::min(last + 1, i + per);
        for (int s = 0; s < 2; ++s) {
            Extremes e = blocks_[i].Series[s];
            for (std::size_t j = i + 1; j < end; ++j) Merge(e, blocks_[j].Series[s]);
            Emit(e, out[s]);
        }
    }
}

}  // namespace kolvex
