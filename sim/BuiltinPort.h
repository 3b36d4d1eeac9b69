#pragma once
// The built-in "SIM" port: a simulated logger in this process, served on a
// pseudo-terminal that the port object opens like any serial device.

#include <memory>
#include <mutex>
#include <string>

#include "link/PortNames.h"
#include "sim/Simulator.h"

namespace kolvex::sim {

// Installs the provider behind the port name "SIM". The simulator starts on
// the first open and runs until the program ends.
inline void InstallBuiltinSimulator(const SimOptions& options = [] {
    SimOptions o;
    o.Pacing = true;  // real line timing: about 1.04 ms per byte at 9600 baud
    return o;
}()) {
    auto holder = std::make_shared<std::pair<std::once_flag, std::unique_ptr<Simulator>>>();
    auto path = std::make_shared<std::string>();
    kolvex::SetSimulatedPortProvider([holder, path, options]() {
        std::call_once(holder->first, [&] {
            holder->second = std::make_unique<Simulator>(options);
            *path = holder->second->Start();
        });
        return *path;
    });
}

}  // namespace kolvex::sim
