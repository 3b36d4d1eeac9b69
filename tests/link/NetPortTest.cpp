// Network port names: what is taken as a server address and what is refused
// before any connection is tried.

#include <gtest/gtest.h>

#include "base/Errors.h"
#include "base/Language.h"
#include "link/NetPort.h"
#include "link/SerCom.h"

namespace kolvex {
namespace {

TEST(NetPortName, AddressParts) {
    struct Case {
        const char* name;
        bool ok, rfc2217;
        const char* host;
        const char* port;
    } cases[] = {
        {"rfc2217://127.0.0.1:2001", true, true, "127.0.0.1", "2001"},
        {"TCP://plant-room:4001/", true, false, "plant-room", "4001"},
        {"rfc2217://[::1]:2001", true, true, "::1", "2001"},
        {"rfc2217://::1:2001", false, false, "", ""},
        {"rfc2217://host", false, false, "", ""},
        {"tcp://:2001", false, false, "", ""},
        {"tcp://host:0", false, false, "", ""},
        {"tcp://host:65536", false, false, "", ""},
        {"tcp://host:20a1", false, false, "", ""},
        {"tcp://a,b:2001", false, false, "", ""},
        {"telnet://host:23", false, false, "", ""},
        {"COM1", false, false, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto a = ParseNetworkPort(c.name);
        ASSERT_EQ(a.has_value(), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(a->Rfc2217, c.rfc2217);
        EXPECT_EQ(a->Host, c.host);
        EXPECT_EQ(a->Port, c.port);
    }
}

TEST(NetPortName, MalformedAddressIsAnOpenErrorInBothLanguages) {
    TSerCom port;
    port.PortName = "tcp://nowhere";
    SetLanguage(0);
    try {
        port.Open();
        FAIL();
    } catch (const EComm& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Port  tcp://nowhere  nelze otevřít: adresa má tvar rfc2217://počítač:port nebo tcp://počítač:port");
    }
    SetLanguage(1);
    EXPECT_THROW(port.Open(), EComm);
    EXPECT_FALSE(port.IsOpen());
}

}  // namespace
}  // namespace kolvex
