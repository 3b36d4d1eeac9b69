// Port aliases, the sorted port list and turning settings into an open port.

#include <gtest/gtest.h>

#include "app/Errors.h"
#include "app/Language.h"
#include "link/CommSettings.h"
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

TEST(CommSettings, SimulatedPortOpensThroughTheProvider) {
    auto simulator = std::make_shared<sim::Simulator>();
    const std::string path = simulator->Start();
    SetSimulatedPortProvider([path] { return path; });
    TSerCom port;
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
    SetSimulatedPortProvider(nullptr);
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
