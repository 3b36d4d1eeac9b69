// SPDX-License-Identifier: GPL-3.0-or-later
// Request frames byte for byte, the address-length table and the check sum.

#include <gtest/gtest.h>

#include <vector>

#include "link/Frames.h"

using namespace kolvex;

namespace {
std::vector<std::uint8_t> Read(std::uint8_t cmd, std::uint32_t addr, std::uint8_t count) {
    std::uint8_t f[64] = {};
    const std::size_t n = BuildReadFrame(f, 255, cmd, addr, count);
    return {f, f + n};
}
std::vector<std::uint8_t> Write(std::uint8_t cmd, std::uint32_t addr, std::vector<std::uint8_t> data) {
    std::uint8_t f[300] = {};
    const std::size_t n = BuildWriteFrame(f, 255, cmd, addr, data.data(), static_cast<std::uint8_t>(data.size()));
    return {f, f + n};
}
using Bytes = std::vector<std::uint8_t>;
}  // namespace

TEST(Frames, ExamplesOnTheLine) {
    EXPECT_EQ(Read(0x10, 4, 4), (Bytes{0x5A, 0x06, 0xFF, 0x10, 0x04, 0x04, 0x77}));
    EXPECT_EQ(Read(0x08, 0, 8), (Bytes{0x5A, 0x04, 0xFF, 0x08, 0x65}));
    EXPECT_EQ(Read(0x00, 32, 2), (Bytes{0x5A, 0x06, 0xFF, 0x00, 0x20, 0x02, 0x81}));
    EXPECT_EQ(Read(0x23, 256, 32), (Bytes{0x5A, 0x09, 0xFF, 0x23, 0x00, 0x01, 0x00, 0x00, 0x20, 0xA6}));
    EXPECT_EQ(Write(0x89, 0, {0x10, 0x20, 0x00, 0x00}),
              (Bytes{0x5A, 0x0A, 0xFF, 0x89, 0x00, 0x04, 0x10, 0x20, 0x00, 0x00, 0x20}));
    EXPECT_EQ(Write(0x81, 0, {0xFF}), (Bytes{0x5A, 0x05, 0xFF, 0x81, 0xFF, 0xDE}));
}

TEST(Frames, OnlyTheLowAddressBytesAreSent) {
    // Area 0x20 carries two address bytes; the high half of the address is dropped.
    EXPECT_EQ(Read(0x20, 0x12345678, 1), (Bytes{0x5A, 0x07, 0xFF, 0x20, 0x78, 0x56, 0x01, 0x4F}));
    // One address byte: 0x1FF goes out as 0xFF.
    EXPECT_EQ(Read(0x21, 0x1FF, 32)[4], 0xFF);
}

TEST(Frames, AddressLengthTable) {
    for (int c : {0x01, 0x08, 0x80, 0x81, 0x88}) EXPECT_EQ(AddressLength(c), 0) << c;
    for (int c : {0x00, 0x09, 0x10, 0x18, 0x19, 0x1A, 0x1B, 0x21, 0x22, 0x28, 0x29, 0x89, 0x98, 0x99, 0x9A, 0x9B,
                  0xA1, 0xA2, 0xA8, 0xA9})
        EXPECT_EQ(AddressLength(c), 1) << c;
    EXPECT_EQ(AddressLength(0x20), 2);
    EXPECT_EQ(AddressLength(0x23), 4);
    for (int c : {0x02, 0x11, 0x24, 0x90, 0xA0, 0xA3, 0xFF}) EXPECT_EQ(AddressLength(c), -1) << c;
    // Codes outside the table are never built.
    std::uint8_t f[16];
    EXPECT_ANY_THROW(BuildReadFrame(f, 255, 0x24, 0, 1));
}

TEST(Frames, ChecksumCoversStartAndLength) {
    const std::uint8_t f[] = {0x5A, 0x04, 0xFF, 0x08};
    EXPECT_EQ(FrameChecksum(f, 0, 4), 0x65);
    EXPECT_EQ(FrameChecksum(f, 2, 2), 0x07);
    EXPECT_EQ(FrameChecksum(f, 0, 0), 0);
    const std::uint8_t many[] = {0xFF, 0xFF, 0xFF};  // wraps modulo 256
    EXPECT_EQ(FrameChecksum(many, 0, 3), 0xFD);
}

TEST(Frames, BlockSizeFollowsTheLowByteOfTheType) {
    EXPECT_EQ(BlockSize(0), 32u);
    EXPECT_EQ(BlockSize(3), 32u);
    EXPECT_EQ(BlockSize(4), 128u);
    EXPECT_EQ(BlockSize(0x0103), 32u);  // only the low byte counts
}
