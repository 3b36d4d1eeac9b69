// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the logger windows share for the program's whole run: the single
// serial port, the logger data copies, the logger operations over them, and
// the configuration record with its file path.

#include <string>

#include "base/ConfigRecord.h"
#include "link/SerCom.h"
#include "logger/LoggerOps.h"
#include "logger/Records.h"

namespace kolvex {

struct LoggerContext {
    TSerCom Port;
    LoggerData Logger;
    LoggerOps Ops{Port, Logger};
    ConfigRecord Config;
    std::string ConfigPath;  // fixed at start-up

    LoggerContext() = default;
    LoggerContext(const LoggerContext&) = delete;
    LoggerContext& operator=(const LoggerContext&) = delete;
};

}  // namespace kolvex
