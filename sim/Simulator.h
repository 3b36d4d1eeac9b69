// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The QUENDAL 730 simulator: the device side of the logger protocol. It serves
// a pseudo-terminal from its own thread, answers every read and write area the
// PC uses, keeps a running clock, an archive ring that fills at the set period,
// diagnostics, and can inject faults into chosen replies.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kolvex::sim {

struct SimOptions {
    int LoggerType = 4;                     // 1..4 (version major)
    int VersionMinor = 7;
    std::uint32_t SerialNumber = 84321;
    std::uint8_t InputType[2] = {0x17, 0x01};  // internal Pt100, current loop
    // Capability bits; 0xFF = choose a sensible default for the input type.
    std::uint8_t InputCaps[2] = {0xFF, 0xFF};
    std::uint32_t ArchiveSize = 32768;      // power of two, multiple of 256
    std::uint32_t Samples = 200;            // samples archived before start
    int PeriodValue = 10;                   // decimal
    int PeriodUnit = 2;                     // 2 s, 3 min, 4 h, 0 off
    bool TwoByteSamples = true;             // ArchiveFlags bit 2
    std::uint8_t RecordFlags = 0x03;        // ArchiveFlags bits 0/1
    bool Pacing = false;                    // ~1.04 ms per byte (9600 baud)
    // With Pacing, the reply also waits for the request's bytes as a 9600 Bd
    // line carries them (a pseudo-terminal passes the request at once).
    bool PaceRequests = false;
    int TurnaroundMs = 2;                   // delay before a reply starts
};

// PaddedBurst: the reply followed by ExtraBytes bytes, all in one write even
// when the replies are paced (as converters that add a byte deliver them).
enum class FaultKind { None, NoReply, ShortReply, BadFcs, ExtraBytes, LateReply, PaddedBurst };

// A fault applies to the replies of the listed frame numbers (1-based count
// of well-formed request frames received since the rule was set), and/or to
// every n-th frame when Every > 0.
struct FaultRule {
    FaultKind Kind = FaultKind::None;
    std::vector<int> Frames;
    int Every = 0;
    int ExtraBytes = 2;   // for ExtraBytes and PaddedBurst
    int LateMs = 300;     // for LateReply: delay before the reply
};

class LoggerDevice;  // the protocol-free device model

class Simulator {
public:
    explicit Simulator(const SimOptions& options = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Creates the pseudo-terminal and starts serving it; returns the slave path.
    std::string Start();
    void Stop();
    std::string SlavePath() const;

    void SetFault(const FaultRule& rule);  // replaces the current rule, restarts frame count
    void ClearFault();
    // The logger neither answers nor carries out requests with this command
    // code (e.g. 0x89, the read pointer write); a negative code ends it.
    void RefuseCommand(int command);

    // Every well-formed request frame received so far, in order, as bytes.
    std::vector<std::vector<std::uint8_t>> ReceivedFrames() const;
    void ClearReceivedFrames();
    // Monotonic time (CLOCK_MONOTONIC, microseconds) at which each request
    // frame was complete and at which its reply's last byte was handed to the
    // line (the earliest the PC can have the whole reply).
    std::vector<std::int64_t> RequestTimesUs() const;
    std::vector<std::int64_t> ReplyTimesUs() const;

    // Device state, for tests (thread-safe snapshots).
    std::vector<std::uint8_t> ParameterBlockBytes() const;   // 128 bytes, IEEE floats
    std::vector<std::uint8_t> InputInfoBytes() const;        // 48 bytes, IEEE floats
    std::int32_t ArchiveRead() const;
    std::int32_t ArchiveWrite() const;
    std::uint8_t ArchiveStatus() const;
    std::vector<std::uint8_t> DiagnosticBytes() const;       // area 0x09 addresses 9..25
    void SetDiagnosticBytes(const std::vector<std::uint8_t>& bytes);  // from address 9
    std::uint8_t BusAddress() const;
    // Logger clock as "YYYY-MM-DD HH:MM:SS".
    std::string ClockText() const;
    std::vector<std::uint8_t> ArchiveBytes() const;          // the whole ring

    LoggerDevice& Device();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kolvex::sim
