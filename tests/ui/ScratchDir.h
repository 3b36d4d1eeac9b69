// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh working folder per test for the tests that run the main window:
// the program keeps its configuration file in the working directory, and
// the built-in simulated logger (without line pacing, for speed) starts anew
// for every test.

#include <QDir>
#include <QTemporaryDir>

#include <memory>

#include "app/BuiltinPort.h"

namespace kolvex::test {

class ScratchDir {
public:
    void InitTestCase() {
        sim::SimOptions fast;
        fast.Pacing = false;
        sim_ = std::make_shared<sim::BuiltinSimulator>(fast);
        oldDir_ = QDir::currentPath();
    }
    void CleanupTestCase() {
        QDir::setCurrent(oldDir_);
        sim_.reset();
    }
    // Makes a new folder the working directory; false when that fails.
    bool Init() {
        dir_ = std::make_unique<QTemporaryDir>();
        if (!dir_->isValid() || !QDir::setCurrent(dir_->path())) return false;
        if (sim_) sim_->Stop();  // every test starts with a fresh logger
        return true;
    }
    void Cleanup() {
        QDir::setCurrent(oldDir_);
        dir_.reset();
    }
    QTemporaryDir* operator->() const { return dir_.get(); }
    // The simulated logger behind "SIM", for the test's contexts.
    const std::shared_ptr<sim::BuiltinSimulator>& Simulator() const { return sim_; }

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString oldDir_;
    std::shared_ptr<sim::BuiltinSimulator> sim_;
};

}  // namespace kolvex::test
