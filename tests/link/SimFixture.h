// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A port opened on a fresh simulated logger.

#include <gtest/gtest.h>

#include <memory>

#include "base/Language.h"
#include "link/CommSettings.h"
#include "logger/LoggerOps.h"
#include "link/SerCom.h"
#include "link/Timing.h"
#include "sim/Simulator.h"

namespace kolvex::test {

inline std::int64_t MonotonicUs() { return CounterNow() / 1000; }

class SimPort : public ::testing::Test {
protected:
    void Open(const sim::SimOptions& options, int idleMs = 20, int slotMs = 100) {
        SetLanguage(1);
        sim_ = std::make_unique<sim::Simulator>(options);
        const std::string path = sim_->Start();
        OpenPortDirect(port_, path, idleMs, slotMs);
        data_.Image.LoggerType = static_cast<std::uint16_t>(options.LoggerType);
    }
    void TearDown() override {
        port_.Close();
        if (sim_) sim_->Stop();
    }

    std::unique_ptr<sim::Simulator> sim_;
    TSerCom port_;
    LoggerData data_;
    LoggerOps ops_{port_, data_};
};

}  // namespace kolvex::test
