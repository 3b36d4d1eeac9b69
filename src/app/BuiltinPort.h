// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The built-in "SIM" port: a simulated logger in this process, served on a
// pseudo-terminal that the port object opens like any serial device.
//
// The program owns one BuiltinSimulator and hands its PortSource() to each
// port object that may open "SIM" (TSerCom::SetSimulatedPort); the desktop
// program's context carries it to the windows (AppContext). Nothing of it is
// global: a port object without a source has no "SIM".

#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "link/PortNames.h"
#include "sim/Simulator.h"

namespace kolvex::sim {

inline SimOptions DefaultBuiltinOptions() {
    SimOptions o;
    o.Pacing = true;  // real line timing: about 1.04 ms per byte at 9600 baud
    return o;
}

class BuiltinSimulator {
public:
    explicit BuiltinSimulator(const SimOptions& options = DefaultBuiltinOptions())
        : state_(std::make_shared<State>()) {
        state_->Options = options;
    }
    ~BuiltinSimulator() { Stop(); }
    BuiltinSimulator(const BuiltinSimulator&) = delete;
    BuiltinSimulator& operator=(const BuiltinSimulator&) = delete;

    // Starts the simulator when it is not running; returns its device path.
    std::string Start() { return Start(*state_); }

    // Stops the simulator (when a real port has been chosen instead); the
    // next open of "SIM" starts a fresh one.
    void Stop() {
        std::shared_ptr<Simulator> sim;
        {
            std::lock_guard<std::mutex> lock(state_->Mutex);
            sim = std::move(state_->Sim);
            state_->Path.clear();
        }
        if (sim) sim->Stop();
    }

    // The running simulator, or none (for tests that inject faults). The
    // caller shares its ownership: it stays a valid object after a Stop.
    std::shared_ptr<Simulator> Running() const {
        std::lock_guard<std::mutex> lock(state_->Mutex);
        return state_->Sim;
    }

    // The source behind the port name "SIM" (TSerCom::SetSimulatedPort): it
    // starts the simulator on the first open. A source that outlives this
    // object leads nowhere (empty path: the port cannot be opened).
    SimulatedPortSource PortSource() const {
        return [weak = std::weak_ptr<State>(state_)]() -> std::string {
            const std::shared_ptr<State> state = weak.lock();
            return state ? Start(*state) : std::string();
        };
    }

private:
    struct State {
        std::mutex Mutex;
        SimOptions Options;
        std::shared_ptr<Simulator> Sim;
        std::string Path;
    };

    static std::string Start(State& state) {
        std::lock_guard<std::mutex> lock(state.Mutex);
        if (!state.Sim) {
            state.Sim = std::make_shared<Simulator>(state.Options);
            state.Path = state.Sim->Start();
        }
        return state.Path;
    }

    std::shared_ptr<State> state_;
};

}  // namespace kolvex::sim
