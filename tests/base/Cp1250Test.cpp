// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "base/Cp1250.h"

using namespace kolvex;

TEST(Cp1250, CzechTextRoundTrip) {
    const std::string czech = "Příliš žluťoučký kůň úpěl ďábelské ódy. PŘÍLIŠ ŽLUŤOUČKÝ KŮŇ ÚPĚL ĎÁBELSKÉ ÓDY";
    const std::string cp = Utf8ToCp1250(czech);
    EXPECT_EQ(cp.size(), 78u);  // one byte per character
    EXPECT_EQ(Cp1250ToUtf8(cp), czech);
    EXPECT_EQ(Utf8ToCp1250("°C"), std::string("\xB0\x43"));
    EXPECT_EQ(Utf8ToCp1250("ř"), std::string("\xF8"));
    EXPECT_EQ(Utf8ToCp1250("Š€"), std::string("\x8A\x80"));
    EXPECT_EQ(Cp1250ToUtf8("\x9A\xBE\xFF"), "šľ˙");
    EXPECT_EQ(Cp1250ToUtf8("plain ASCII"), "plain ASCII");
}

TEST(Cp1250, EveryByteRoundTrips) {
    // All 256 bytes, including the five the code page leaves undefined.
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(Utf8ToCp1250(Cp1250ToUtf8(all)), all);
    EXPECT_EQ(Cp1250ToUtf8("\x81"), "\xC2\x81");
}

TEST(Cp1250, UnmappableAndInvalidInput) {
    EXPECT_EQ(Utf8ToCp1250("a€b"), "a\x80" "b");
    EXPECT_EQ(Utf8ToCp1250("日本"), "??");        // no code page 1250 form
    EXPECT_EQ(Utf8ToCp1250("x\xF0\x9F\x98\x80y"), "x?y");  // emoji
    EXPECT_EQ(Utf8ToCp1250("\xFF" "a"), "?a");   // invalid lead byte
    EXPECT_EQ(Utf8ToCp1250("\x80" "a"), "?a");   // stray continuation byte
    EXPECT_EQ(Utf8ToCp1250("a\xC5"), "a?");      // truncated sequence at the end
    EXPECT_EQ(Utf8ToCp1250("\xC0\xAF"), "?");    // overlong '/'
    EXPECT_EQ(Utf8ToCp1250("\xE2\x82" "z"), "?z");
}
