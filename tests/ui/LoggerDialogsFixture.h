// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A program context whose port is open on a simulated logger, and the write
// requests the logger received, decoded into area, address and data bytes.

#include <QtTest>

#include <memory>
#include <string>
#include <vector>

#include "app/AppContext.h"
#include "base/Language.h"
#include "link/CommSettings.h"
#include "link/Frames.h"
#include "sim/Simulator.h"

namespace kolvex::test {

using Bytes = std::vector<std::uint8_t>;

struct WriteRequest {
    std::uint8_t Command = 0;
    std::uint32_t Address = 0;
    Bytes Data;
};

class SimLogger {
public:
    explicit SimLogger(const sim::SimOptions& options) : sim_(options) {
        OpenPortDirect(ctx.Port, sim_.Start(), 20, 100);
        ctx.Port.LoggerAddress = 255;
    }
    ~SimLogger() {
        ctx.Port.Close();
        sim_.Stop();
    }

    sim::Simulator& Sim() { return sim_; }

    // Every request frame with the write bit set, in order.
    std::vector<WriteRequest> Writes() const {
        std::vector<WriteRequest> out;
        for (const Bytes& f : sim_.ReceivedFrames()) {
            if (f.size() < 5 || (f[3] & 0x80) == 0) continue;
            WriteRequest w;
            w.Command = f[3];
            const int a = AddressLength(w.Command);
            const std::size_t len = f[1];
            if (a <= 0) {
                w.Data.assign(f.begin() + 4, f.begin() + static_cast<std::ptrdiff_t>(len));
            } else {
                for (int i = 0; i < a; ++i) w.Address |= static_cast<std::uint32_t>(f[4 + i]) << (8 * i);
                const std::size_t n = f[4 + a];
                w.Data.assign(f.begin() + 5 + a, f.begin() + 5 + a + static_cast<std::ptrdiff_t>(n));
            }
            out.push_back(w);
        }
        return out;
    }
    // The command codes of every request frame, reads included.
    std::vector<std::uint8_t> Commands() const {
        std::vector<std::uint8_t> out;
        for (const Bytes& f : sim_.ReceivedFrames())
            if (f.size() > 3) out.push_back(f[3]);
        return out;
    }
    void ClearFrames() { sim_.ClearReceivedFrames(); }

    AppContext ctx;

private:
    sim::Simulator sim_;
};

// A silent line: a simulator whose every reply is withheld.
inline void Silence(sim::Simulator& s) {
    sim::FaultRule r;
    r.Kind = sim::FaultKind::NoReply;
    r.Every = 1;
    s.SetFault(r);
}

// True when `f` throws an exception of type E.
template <typename E, typename F>
bool Throws(F&& f) {
    try {
        f();
    } catch (const E&) {
        return true;
    } catch (...) {
        return false;
    }
    return false;
}

inline QString Hex(const Bytes& b) {
    QString s;
    for (std::uint8_t v : b) s += QString::asprintf("%02X ", v);
    return s.trimmed();
}

}  // namespace kolvex::test
