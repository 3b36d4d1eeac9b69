// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading the logger's archive memory: the range to read from the archive
// pointers, the decoder of header, filler and sample records, and the loop
// that reads a range in 256-byte steps, decodes it and hands every stored
// sample to a sink.

#include <array>
#include <cstdint>
#include <functional>

#include "logger/Records.h"

namespace kolvex {

class LoggerOps;
class EComm;

inline constexpr std::uint32_t kArchiveStep = 256;
inline constexpr std::uint8_t kRecordHeader = 0xFB;

// Format-error flags of a download.
inline constexpr int kFormatErrorDate = 1;
inline constexpr int kFormatErrorTime = 2;
inline constexpr int kFormatErrorValues = 4;

// Which part of the ring a download reads: [Start, End), possibly wrapping.
struct ArchiveRange {
    std::uint32_t Start = 0;
    std::uint32_t End = 0;
    bool Read = false;  // false when there is nothing to read
};

// Mode 1 reads everything: from the 256-byte block after the one holding the
// write pointer up to the write pointer. Any other mode reads from the
// bookmark (read pointer) to the write pointer. A range is read when start
// and end differ or the memory is full.
ArchiveRange PlanArchiveRange(const ArchivePointers& pointers, std::uint32_t archiveSize, int readMode);
// Bytes from the block that holds `start` up to `end`, around the ring.
std::uint32_t ArchiveRangeTotal(std::uint32_t start, std::uint32_t end, std::uint32_t archiveSize);

// One decoded sample as it is stored: the time stamp (rounded to the
// millisecond, then cut to whole seconds) and the value slots (input 1 first
// among the recorded inputs; an unused slot holds -1).
struct ArchiveSample {
    double Timestamp = 0;
    double Values[2] = {-1, -1};
    std::uint32_t Address = 0;  // where the record lies in the ring
};

// The decoder state: sample format, period, running time stamp.
class ArchiveDecoder {
public:
    explicit ArchiveDecoder(const LoggerImage& image);

    void Reset();
    // Length of the record that begins with `first` under the current format.
    std::size_t RecordLength(std::uint8_t first) const;
    // Decodes one record of `length` bytes (as RecordLength said). Returns true
    // and fills `sample` when it is a sample record. The running time stamp
    // advances by one period after every sample.
    bool Decode(const std::uint8_t* record, ArchiveSample& sample);

    double RunningTimestamp() const { return timestamp_; }
    std::uint8_t Format() const { return format_; }
    int PeriodCount() const { return periodCount_; }
    int PeriodUnit() const { return periodUnit_; }
    int FormatErrors() const { return formatErrors_; }

    // The stored form of a running time stamp: rounded to the nearest
    // millisecond, then cut to whole seconds.
    static double StoredTimestamp(double running);

private:
    void DecodeHeader(const std::uint8_t* p);
    void Advance();

    const LoggerImage& image_;
    std::uint8_t format_ = 0x01;
    int periodCount_ = 2;
    int periodUnit_ = 0;  // 0..2 seconds, 3 minutes, 4 hours, 5 days, 6/7 none
    double timestamp_ = 0;
    int formatErrors_ = 0;
};

// What to do when a step of the range fails with a communication error.
enum class StepFailure { Abort, Retry };

struct ArchiveReadResult {
    std::uint64_t Stored = 0;       // samples handed to the sink
    bool Aborted = false;
    // After an abort: the address of the first record that was not stored,
    // where the next download from the bookmark must continue.
    std::uint32_t ResumeAddress = 0;
    int FormatErrors = 0;
};

struct ArchiveReadCallbacks {
    std::function<void(const ArchiveSample&)> Sample;          // every stored sample
    std::function<void(int percent)> Progress;                  // after every step
    std::function<StepFailure(const EComm& error)> OnCommError;  // default: Abort
    // Asked before and after every step and before a failed step is offered
    // for retry: true ends the range as an abort does (Abort pressed, a signal).
    std::function<bool()> Stop;
};

// Reads the 256 bytes of archive memory at an address (throws EComm on a
// communication error).
using ArchiveBlockReader = std::function<std::array<std::uint8_t, kArchiveStep>(std::uint32_t address)>;

// Reads [start, end) of the ring (the whole ring when start = end and the
// memory is full), decoding from the 256-byte boundary below `start`; records
// before `start` only set the time base. A record that runs past a step's 256
// bytes is completed by reading the following bytes first; the next step then
// begins right after it. Errors other than communication errors propagate.
ArchiveReadResult ReadArchiveRange(const ArchiveBlockReader& read, const LoggerImage& image, std::uint32_t start,
                                   std::uint32_t end, std::uint32_t archiveSize,
                                   const ArchiveReadCallbacks& callbacks);
// The same through the logger operation ReadArchiveMemory.
ArchiveReadResult ReadArchiveRange(LoggerOps& ops, const LoggerImage& image, std::uint32_t start,
                                   std::uint32_t end, std::uint32_t archiveSize,
                                   const ArchiveReadCallbacks& callbacks);

// Throws EComm when the logger reports an archive size that cannot be a ring
// of 256-byte blocks (zero, not a power of two, or below 256).
void CheckArchiveSize(std::uint32_t archiveSize);

}  // namespace kolvex
