// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The protocol-free model of a QUENDAL 730 logger: complete request frames in,
// reply bytes out, plus the archive ring that fills at the set period. Time is
// taken lazily from a time source on every request, so the archive catches up
// with all samples that fell due since the last request.
//
// Memory records are held as the logger holds them: on logger type 4 every
// float field is kept in the logger float layout. The test accessors convert
// the parameter and input information blocks to IEEE.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/Simulator.h"
#include "sim/SimBytes.h"

namespace kolvex::sim {

// Splits a byte stream into well-formed request frames: resynchronises on the
// start byte 0x5A, takes LEN from offset 1, needs LEN + 1 bytes and a matching
// check sum; anything else is discarded byte by byte.
class FrameParser {
public:
    void Feed(const std::uint8_t* data, std::size_t count);
    // The next complete well-formed frame, if any.
    std::optional<Bytes> Next();
    // True while bytes of an incomplete frame are buffered.
    bool Pending() const { return !buffer_.empty(); }
    // Gives up the incomplete frame at the front (after a silence on the
    // line): drops its start byte and searches for the next start byte.
    void DropStale();
    std::size_t Discarded() const { return discarded_; }

private:
    Bytes buffer_;
    std::size_t discarded_ = 0;
};

class LoggerDevice {
public:
    // Host time in seconds since 1970-01-01 UTC; the logger clock runs at an
    // offset from the host's local time.
    using TimeSource = std::function<std::int64_t()>;

    static constexpr std::uint8_t Ack = 0x06;
    static constexpr std::uint8_t Nak = 0x15;

    explicit LoggerDevice(const SimOptions& options = {}, TimeSource time = {});

    // Answers one complete, well-formed request frame (check sum already
    // verified). An empty result means that the logger stays silent (frame
    // for another bus address, unknown command).
    Bytes HandleFrame(const Bytes& frame);

    // Catches the archive up with all samples due by now.
    void Update();

    // Raw reading (0..64255) of input n (0 or 1) at the logger's clock now.
    std::uint16_t CurrentRaw(int input) const;

    // Snapshots (thread-safe).
    Bytes ParameterBlockBytes() const;   // 128 bytes, IEEE floats
    Bytes InputInfoBytes() const;        // 48 bytes, IEEE floats
    std::int32_t ArchiveRead() const;
    std::int32_t ArchiveWrite() const;
    std::uint8_t ArchiveStatus() const;
    Bytes DiagnosticBytes() const;       // area 0x09 addresses 9..25
    void SetDiagnosticBytes(const Bytes& bytes);
    std::uint8_t BusAddress() const;
    std::string ClockText() const;
    Bytes ArchiveBytes() const;
    std::uint32_t ArchiveSize() const { return archiveSize_; }
    int LoggerType() const { return options_.LoggerType; }
    // Logger clock now, as seconds of its wall time counted like UTC.
    std::int64_t LoggerWallNow() const;
    // Wall time of the next sample that falls due (meaningless while off).
    std::int64_t NextSampleWall() const;

private:
    int BlockLimit() const { return options_.LoggerType > 3 ? 128 : 32; }
    bool FloatLayout() const { return options_.LoggerType == 4; }
    std::int64_t HostWallNow() const;
    std::int64_t WallNowLocked() const;
    int PeriodSeconds() const;
    bool Cyclic() const;
    std::uint16_t RawAt(int input, std::int64_t wall) const;

    void BuildDefaults();
    void UpdateLocked();
    void Rebase(std::int64_t wall);
    bool ArchiveOneSample(std::int64_t sampleWall);
    void PutByte(std::uint8_t b);
    std::uint32_t Available() const;

    Bytes ReadArea(std::uint8_t command, std::uint32_t address, int count, bool& ok);
    bool WriteArea(std::uint8_t command, std::uint32_t address, const Bytes& data);
    Bytes AreaImage(std::uint8_t command) const;

    mutable std::mutex mutex_;
    SimOptions options_;
    TimeSource time_;
    std::uint8_t busAddress_ = 1;
    std::int64_t clockOffset_ = 0;      // logger wall minus host local wall

    Bytes identification_;              // 38 bytes
    Bytes parameters_;                  // 160 bytes, device layout
    Bytes factorySections_;             // 96 bytes, device layout
    Bytes inputInfo_;                   // 48 bytes, device layout
    Bytes tables_[2];                   // 128 bytes each, device layout
    Bytes diagnostics_;                 // addresses 9..25

    std::uint32_t archiveSize_ = 0;
    Bytes archive_;
    std::uint32_t readPtr_ = 0;
    std::uint32_t writePtr_ = 0;
    bool full_ = false;
    bool needHeader_ = true;
    bool archiving_ = false;            // a valid period is set
    std::int64_t nextSample_ = 0;       // logger wall time of the next sample
};

}  // namespace kolvex::sim
