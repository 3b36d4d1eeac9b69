// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The built-in "SIM" port: a simulated logger in this process, served on a
// pseudo-terminal that the port object opens like any serial device.

#include <memory>
#include <mutex>
#include <string>

#include "link/PortNames.h"
#include "sim/Simulator.h"

namespace kolvex::sim {

namespace detail {

struct BuiltinState {
    std::mutex Mutex;
    SimOptions Options;
    std::unique_ptr<Simulator> Sim;
    std::string Path;
};

inline BuiltinState& Builtin() {
    static BuiltinState state;
    return state;
}

inline SimOptions DefaultBuiltinOptions() {
    SimOptions o;
    o.Pacing = true;  // real line timing: about 1.04 ms per byte at 9600 baud
    return o;
}

}  // namespace detail

// Installs the provider behind the port name "SIM". The simulator starts on
// the first open and runs until it is stopped or the program ends; a stopped
// simulator starts afresh at the next open.
inline void InstallBuiltinSimulator(const SimOptions& options = detail::DefaultBuiltinOptions()) {
    {
        std::lock_guard<std::mutex> lock(detail::Builtin().Mutex);
        detail::Builtin().Options = options;
    }
    kolvex::SetSimulatedPortProvider([]() {
        auto& state = detail::Builtin();
        std::lock_guard<std::mutex> lock(state.Mutex);
        if (!state.Sim) {
            state.Sim = std::make_unique<Simulator>(state.Options);
            state.Path = state.Sim->Start();
        }
        return state.Path;
    });
}

// Stops the built-in simulator (when a real port has been chosen instead).
inline void StopBuiltinSimulator() {
    std::unique_ptr<Simulator> sim;
    {
        auto& state = detail::Builtin();
        std::lock_guard<std::mutex> lock(state.Mutex);
        sim = std::move(state.Sim);
        state.Path.clear();
    }
    if (sim) sim->Stop();
}

// The running built-in simulator, or nullptr (for tests that inject faults).
inline Simulator* RunningBuiltinSimulator() {
    auto& state = detail::Builtin();
    std::lock_guard<std::mutex> lock(state.Mutex);
    return state.Sim.get();
}

}  // namespace kolvex::sim
