// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers of the simulator tests: frames from hex text, a hand-set host clock
// and an independent decoder of the archive ring.

#include <cstdint>
#include <ctime>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "sim/LoggerDevice.h"

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Hex(const std::string& text) {
    Bytes out;
    std::istringstream in(text);
    std::string item;
    while (in >> item) out.push_back(static_cast<std::uint8_t>(std::stoul(item, nullptr, 16)));
    return out;
}

inline std::uint8_t Sum(const Bytes& b, std::size_t count) {
    unsigned s = 0;
    for (std::size_t i = 0; i < count; ++i) s += b[i];
    return static_cast<std::uint8_t>(s);
}

// Completes a frame given without LEN and FCS: 5A, LEN, rest..., FCS.
inline Bytes Frame(const Bytes& body) {
    Bytes f;
    f.reserve(body.size() + 3);
    f.push_back(0x5A);
    f.push_back(static_cast<std::uint8_t>(body.size() + 2));
    for (std::uint8_t b : body) f.push_back(b);
    f.push_back(Sum(f, f.size()));
    return f;
}

// A read reply is N + 4 bytes whose last byte sums the others.
inline bool ValidReadReply(const Bytes& r, std::size_t n) {
    return r.size() == n + 4 && r.back() == Sum(r, r.size() - 1);
}

inline Bytes Data(const Bytes& reply) { return Bytes(reply.begin() + 3, reply.end() - 1); }

// Host clock under the test's control.
struct FakeTime {
    std::shared_ptr<std::int64_t> now = std::make_shared<std::int64_t>(1700000000);
    kolvex::sim::LoggerDevice::TimeSource Source() const {
        auto p = now;
        return [p] { return *p; };
    }
    void Advance(std::int64_t s) const { *now += s; }
};

struct Sample {
    std::int64_t time;  // seconds, wall time counted like UTC
    int raw[2];
};

inline std::int64_t FatTime(std::uint16_t t, std::uint16_t d) {
    std::tm tm{};
    tm.tm_sec = 2 * (t & 31);
    tm.tm_min = (t >> 5) & 63;
    tm.tm_hour = t >> 11;
    tm.tm_mday = d & 31;
    tm.tm_mon = ((d >> 5) & 15) - 1;
    tm.tm_year = 80 + (d >> 9);
    return static_cast<std::int64_t>(timegm(&tm));
}

// Decodes `total` bytes of the ring from `start` (a block boundary).
inline std::vector<Sample> Decode(const Bytes& ring, std::uint32_t start, std::uint32_t total,
                                  std::vector<std::uint32_t>* headers = nullptr) {
    std::vector<Sample> out;
    std::uint8_t format = 1;
    std::int64_t step = 2, t = 0;
    const std::uint32_t size = static_cast<std::uint32_t>(ring.size());
    auto at = [&](std::uint32_t a) { return ring[a % size]; };
    std::uint32_t done = 0;
    while (done < total) {
        const std::uint32_t a = start + done;
        const std::uint8_t b = at(a);
        std::uint32_t len = 1;
        if (b == 0xFB) {
            if (headers) headers->push_back(a % size);
            const int count = (at(a + 1) >> 4) * 10 + (at(a + 1) & 15);
            const int unit = at(a + 2) & 7;
            step = unit <= 2 ? count : unit == 3 ? count * 60 : unit == 4 ? count * 3600 : 0;
            format = at(a + 3);
            t = FatTime(static_cast<std::uint16_t>(at(a + 4) | (at(a + 5) << 8)),
                        static_cast<std::uint16_t>(at(a + 6) | (at(a + 7) << 8)));
            len = 8;
        } else if (b < 0xFB) {
            Sample s{t, {-1, -1}};
            std::uint32_t k = 0;
            int slot = 0;
            for (int n = 0; n < 2; ++n) {
                if ((format & (1 << n)) == 0) continue;
                if (format & 4) {
                    s.raw[slot++] = at(a + k) * 256 + at(a + k + 1);
                    k += 2;
                } else {
                    s.raw[slot++] = at(a + k) * 256;
                    k += 1;
                }
            }
            len = k == 0 ? 1 : k;
            out.push_back(s);
            t += step;
        }
        done += len;
    }
    return out;
}

}  // namespace simtest
