// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the archive-memory decoder: any bytes as the logger's ring, with any
// pointers, size and scaling, are read and decoded; every stored sample must
// lie inside the range and the walk must end.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/ArchiveReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 12) return 0;
    kolvex::LoggerImage image;
    image.InputInfo.InputType[0] = data[0];
    image.InputInfo.InputType[1] = data[1];
    for (auto& in : image.Parameters.Input) {
        in.RecordScale = static_cast<float>(data[2]) / 7.0f;
        in.RecordOffset = static_cast<float>(data[3]) - 100.0f;
        in.SignalLow = 4;
        in.SignalHigh = static_cast<float>(data[4]);
        in.RangeHigh = 100;
    }
    const std::uint32_t ringSize = 256u << (data[5] % 8);  // 256 .. 32768
    std::uint32_t start = 0, end = 0;
    std::memcpy(&start, data + 6, 2);
    std::memcpy(&end, data + 8, 2);
    kolvex::ArchivePointers p;
    p.ArchiveRead = static_cast<std::int32_t>(start);
    p.ArchiveWrite = static_cast<std::int32_t>(end);
    p.ArchiveStatus = data[10];
    const int mode = data[11] & 1;

    std::vector<std::uint8_t> ring(ringSize, 0xFF);
    for (std::size_t i = 12; i < size && i - 12 < ringSize; ++i) ring[i - 12] = data[i];

    const kolvex::ArchiveRange r = kolvex::PlanArchiveRange(p, ringSize, mode);
    if (!r.Read) return 0;
    const std::uint64_t total = kolvex::ArchiveRangeTotal(r.Start, r.End, ringSize);
    std::uint64_t samples = 0;
    kolvex::ArchiveReadCallbacks cb;
    cb.Sample = [&](const kolvex::ArchiveSample& s) {
        if (s.Address >= ringSize) std::abort();
        ++samples;
    };
    auto reader = [&](std::uint32_t address) {
        std::array<std::uint8_t, kolvex::kArchiveStep> b{};
        for (std::uint32_t i = 0; i < b.size(); ++i) b[i] = ring[(address + i) % ringSize];
        return b;
    };
    const auto res = kolvex::ReadArchiveRange(reader, image, r.Start, r.End, ringSize, cb);
    if (res.Stored != samples || samples > total) std::abort();
    return 0;
}
