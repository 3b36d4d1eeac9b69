// SPDX-License-Identifier: GPL-3.0-or-later
// Port aliases, the sorted port list and turning settings into an open port.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "base/ConfigRecord.h"
#include "base/Errors.h"
#include "base/Language.h"
#include "link/CommSettings.h"
#include "logger/LoggerOps.h"
#include "link/PortNames.h"
#include "link/SerCom.h"
#include "sim/Simulator.h"

using namespace kolvex;

TEST(PortNames, AliasesMapToDevices) {
    EXPECT_EQ(DeviceForPort("COM1"), "/dev/ttyS0");
    EXPECT_EQ(DeviceForPort("com9"), "/dev/ttyS8");
    EXPECT_EQ(DeviceForPort("USB0"), "/dev/ttyUSB0");
    EXPECT_EQ(DeviceForPort("ACM3"), "/dev/ttyACM3");
    EXPECT_EQ(DeviceForPort("/dev/pts/7"), "/dev/pts/7");
    EXPECT_FALSE(DeviceForPort("COM0"));
    EXPECT_FALSE(DeviceForPort("COM10"));
    EXPECT_FALSE(DeviceForPort("LPT1"));
    EXPECT_FALSE(DeviceForPort(""));

    EXPECT_EQ(AliasForDevice("/dev/ttyS0"), "COM1");
    EXPECT_EQ(AliasForDevice("/dev/ttyS8"), "COM9");
    EXPECT_FALSE(AliasForDevice("/dev/ttyS9"));  // would need five characters
    EXPECT_EQ(AliasForDevice("/dev/ttyUSB2"), "USB2");
    EXPECT_FALSE(AliasForDevice("/dev/ttyUSB12"));
    EXPECT_FALSE(AliasForDevice("/dev/pts/1"));
}

TEST(PortNames, ListSortsCaseInsensitively) {
    std::vector<PortEntry> l = {{"COM2", "", ""}, {"com10", "", ""}, {"USB0", "", ""}, {"ACM1", "", ""},
                                {"COM1", "", ""}};
    SortPortNames(l);
    std::vector<std::string> names;
    for (const auto& p : l) names.push_back(p.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"ACM1", "COM1", "com10", "COM2", "USB0"}));
}

TEST(CommSettings, UnknownPortIsRefusedWithTheMenuHint) {
    SetLanguage(1);
    TSerCom port;
    CommSettings s;
    s.ComPort = "ACM7";
    try {
        ApplyCommSettings(port, s);
        if (port.IsOpen()) GTEST_SKIP() << "this machine has ACM7";
    } catch (const ESetPC& e) {
        EXPECT_STREQ(e.what(),
                     "Program nenalezl seriový port    ACM7\r\n\r\nVyberte port v menu \"Nastavení / Počitač\"");
    }
    // Whatever the machine has, the list is never empty: COM1..COM4 stand in.
    EXPECT_GE(port.PortCount(), 1);
}

TEST(CommSettings, SimulatedPortOpensThroughItsSource) {
    auto simulator = std::make_shared<sim::Simulator>();
    const std::string path = simulator->Start();
    // A port object without a source has no "SIM".
    EXPECT_FALSE(TSerCom().DeviceFor("SIM"));
    TSerCom port;
    port.SetSimulatedPort([path] { return path; });
    CommSettings s;
    s.ComPort = "sim";  // case does not matter
    s.TIdle = 30;
    s.TSlot = 250;
    s.BusAddress = 17;
    ApplyCommSettings(port, s);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.PortList.back().Name, "SIM");
    EXPECT_EQ(port.IdleTime, 30000u);
    EXPECT_EQ(port.ReplyTimeout, 250000u);
    EXPECT_EQ(port.GapTimeout, 50000u);
    EXPECT_EQ(port.LoggerAddress, 255);
    EXPECT_EQ(s.BusAddress, 255);
    EXPECT_EQ(port.Tries, 3);
    EXPECT_EQ(port.LineControl, 4);
    EXPECT_EQ(port.ErrorCount, 0u);
    // Applying again closes and reopens the port.
    port.ErrorCount = 5;
    ApplyCommSettings(port, s);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(port.ErrorCount, 0u);
    port.Close();
    simulator->Stop();
}

TEST(CommSettings, DefaultsTakeTheFirstPort) {
    TSerCom port;
    CommSettings s;
    s.TIdle = 500;
    s.BusAddress = 3;
    ApplyCommDefaults(port, s);
    EXPECT_EQ(s.TIdle, 20);
    EXPECT_EQ(s.TSlot, 100);
    EXPECT_EQ(s.BusAddress, 255);
    if (port.PortList.empty()) EXPECT_EQ(s.ComPort, "");
    else EXPECT_EQ(s.ComPort, port.PortList.front().Name.substr(0, 4));
}

TEST(PortNames, StableNamesAndTheCompanionFile) {
    // A folder of stable names whose link points at a pseudo-terminal.
    sim::Simulator simulator;
    const std::string pty = simulator.Start();
    char tmpl[] = "/tmp/kolvex-by-id-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(tmpl);
    const std::string link = (dir / "usb-Maker_Serial_A1B2-if00-port0").string();
    std::filesystem::create_symlink(pty, link);

    const auto list = ListSerialPorts(dir.string());
    const auto at = std::find_if(list.begin(), list.end(), [&](const PortEntry& p) { return p.Name == link; });
    ASSERT_NE(at, list.end());
    EXPECT_EQ(at->Device, std::filesystem::canonical(pty).string());
    EXPECT_EQ(at->Problem, PortProblem::None);

    // The stable name opens like any port and reaches the logger.
    SetLanguage(1);
    TSerCom port;
    CommSettings s;
    s.ComPort = link;
    ApplyCommSettings(port, s);
    LoggerData data;
    LoggerOps ops(port, data);
    ops.ReadLoggerType();
    EXPECT_EQ(data.Image.TypeByte(), 4);
    port.Close();

    // Round trip through the configuration file: a path is "DEV" in the 344
    // bytes and the path in the companion file; an alias leaves the file as
    // its image and writes no companion.
    struct Row {
        std::string port;
        std::string stored;
        bool companion;
    };
    for (const Row& row : {Row{link, "DEV", true}, Row{"USB0", "USB0", false}, Row{"SIM", "SIM", false}}) {
        SCOPED_TRACE(row.port);
        const std::string cfgPath = (dir / ("cfg-" + row.stored) / "kolvex12.cfg").string();
        std::filesystem::create_directory(dir / ("cfg-" + row.stored));
        ConfigRecord c;
        c.ComPort = row.port;
        c.TIdle = 20;
        ASSERT_TRUE(SaveConfigFile(cfgPath, c));
        EXPECT_EQ(std::filesystem::file_size(cfgPath), 344u);
        std::ifstream in(cfgPath, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(std::string(bytes.data() + 31, static_cast<std::size_t>(bytes[30])), row.stored);
        const auto expect = c.Encode();
        EXPECT_TRUE(std::equal(expect.begin(), expect.end(), bytes.begin(),
                               [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
        EXPECT_EQ(std::filesystem::exists(CompanionPortFile(cfgPath)), row.companion);
        ConfigRecord back;
        ASSERT_TRUE(LoadConfigFile(cfgPath, back));
        EXPECT_EQ(back.ComPort, row.port);
    }
    EXPECT_EQ(CompanionPortFile("/x/kolvex12.cfg"), "/x/kolvex12.port");
    std::filesystem::remove_all(dir);
    simulator.Stop();
}
