// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the program owns for its whole run and hands to the windows that need
// it: the port, the logger data and operations, the configuration record and
// the data module. Windows of a lower layer take the part of it their layer
// knows (LoggerContext, ArchiveContext).

#include <memory>
#include <utility>

#include "app/BuiltinPort.h"
#include "archive/ArchiveContext.h"

namespace kolvex {

struct AppContext : ArchiveContext {
    // The built-in simulated logger behind the port name "SIM", shared with
    // whoever created it (the program's main, a test); none: no "SIM".
    std::shared_ptr<sim::BuiltinSimulator> Simulator;

    AppContext() = default;
    explicit AppContext(std::shared_ptr<sim::BuiltinSimulator> simulator) : Simulator(std::move(simulator)) {
        if (Simulator) Port.SetSimulatedPort(Simulator->PortSource());
    }
};

}  // namespace kolvex
