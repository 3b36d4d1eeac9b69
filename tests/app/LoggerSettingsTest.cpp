// SPDX-License-Identifier: GPL-3.0-or-later
// The settings files of several loggers: what a line may hold, and the list
// of configured loggers with the last run of each from its log.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "app/LoggerSettings.h"

namespace fs = std::filesystem;
using kolvex::LoggerSettings;

TEST(LoggerSettings, LinesAreReadOrRefusedWithTheirNumber) {
    struct Case {
        const char* text;
        bool ok;
        const char* problem;
    };
    const Case cases[] = {
        {"# comment\n\nKOLVEX_PORT=\"/dev/ttyUSB0\"\nKOLVEX_NOTIFY=yes\nKOLVEX_DOWNLOAD_ARGS= --mode  all \n", true, ""},
        {"KOLVEX_PORT=USB0\nKOLVEX_PROT=USB1\n", false, "line 2: unknown key KOLVEX_PROT"},
        {"KOLVEX_NOTIFY=maybe\n", false, "line 1: KOLVEX_NOTIFY takes yes or no"},
        {"KOLVEX_PORT USB0\n", false, "line 1: KEY=VALUE expected"},
    };
    for (const auto& c : cases) {
        LoggerSettings s;
        std::string problem;
        EXPECT_EQ(kolvex::ParseLoggerSettings("cold", c.text, s, &problem), c.ok) << c.text;
        EXPECT_EQ(problem, c.problem) << c.text;
    }
    LoggerSettings s;
    ASSERT_TRUE(kolvex::ParseLoggerSettings("cold", cases[0].text, s, nullptr));
    EXPECT_EQ(s.Port, "/dev/ttyUSB0");
    EXPECT_TRUE(s.Notify);
    EXPECT_EQ(s.DownloadArgs, (std::vector<std::string>{"--mode", "all"}));
    EXPECT_EQ(kolvex::LoggerLogFile(s, "/data"), "/data/loggers/cold/download.log");
}

TEST(LoggerSettings, ListShowsEachLoggersLastRun) {
    char tmpl[] = "/tmp/kolvex-loggers-XXXXXX";
    const fs::path dir = ::mkdtemp(tmpl);
    fs::create_directories(dir / "conf");
    fs::create_directories(dir / "data/loggers/b");
    std::ofstream(dir / "conf/b.conf") << "KOLVEX_PORT=USB1\n";
    std::ofstream(dir / "conf/a.conf") << "KOLVEX_PORT=USB0\nKOLVEX_LOG=" << (dir / "a.log").string() << "\n";
    std::ofstream(dir / "conf/c.conf") << "KOLVEX_PROT=USB2\n";
    std::ofstream(dir / "conf/notes.txt") << "not a logger\n";
    std::ofstream(dir / "a.log") << "2026-12-01 02:30:01+0100\tport=USB0\tread=1\tstored=1\talready=0\tfiles=x:1\tok\n"
                                 << "2026-12-02 02:30:04+0100\tport=USB0\tread=0\tstored=0\talready=0\tfiles=\t"
                                    "error: no reply\tlogger=a\n";
    // A run as the download logs it now: drift and excursions before the outcome.
    std::ofstream(dir / "conf/d.conf") << "KOLVEX_PORT=USB3\nKOLVEX_LOG=" << (dir / "d.log").string() << "\n";
    std::ofstream(dir / "d.log") << "2026-12-03 02:30:02+0100\tport=USB3\tread=9\tstored=9\talready=0\tfiles=y:9"
                                    "\tdrift=+4\texcursions=2\tok\tlogger=d\n";
    const auto list = kolvex::ListConfiguredLoggers((dir / "conf").string(), (dir / "data").string());
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[3].LastOutcome, "ok");
    EXPECT_EQ(list[3].LastExcursions, 2);
    EXPECT_EQ(list[0].Name, "a");
    EXPECT_EQ(list[0].LastRun, "2026-12-02 02:30:04+0100");
    EXPECT_EQ(list[0].LastOutcome, "error: no reply");
    EXPECT_EQ(list[1].Port, "USB1");
    EXPECT_EQ(list[1].LogFile, (dir / "data/loggers/b/download.log").string());
    EXPECT_TRUE(list[1].LastOutcome.empty());
    EXPECT_NE(list[2].Problem.find("unknown key KOLVEX_PROT"), std::string::npos);
    fs::remove_all(dir);
}
