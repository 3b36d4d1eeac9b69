#pragma once
// What the program owns for its whole run and hands to the windows that need
// it: the single serial port, the logger data copies, the logger operations
// over them, the configuration record with its file path, and the data module.

#include <string>

#include "app/ConfigRecord.h"
#include "archive/Adm.h"
#include "link/LoggerOps.h"
#include "link/SerCom.h"
#include "logger/Records.h"

namespace kolvex {

struct AppContext {
    TSerCom Port;
    LoggerData Logger;
    LoggerOps Ops{Port, Logger};
    ConfigRecord Config;
    std::string ConfigPath;  // fixed at start-up
    // The data module: the open archive table, the temporary download table
    // and the open table's parameter record. The desktop program installs
    // its question boxes with Adm.SetAnswerer.
    TADM Adm;

    AppContext() = default;
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;
};

}  // namespace kolvex
