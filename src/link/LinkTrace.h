// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A record of the communication for support: every frame sent and received
// in hex with monotonic time stamps, the port and its settings, the attempts,
// time-outs and errors, and what each exchange was for, as plain text lines:
//
//   kolvex12 communication trace, started 2026-12-10 23:45:01 +01:00
//        12.345678  open  port USB0 (/dev/ttyUSB0), 9600 baud, 8 data bits, parity none, ...
//        12.350001  read  area 0x00 address 0 length 38
//        12.350102  tx #1 5A 07 FF 00 00 26 ...
//        12.391230  rx    5A ... (42 of 42 bytes)
//        12.492000  time-out  attempt 1: 0 of 42 bytes
//
// The time stamps are seconds of the system's monotonic clock. One trace
// serves the whole process (the program talks to one port at a time); the
// port and the frame layer write to it wherever a frame passes, for serial
// and network ports alike.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace kolvex {

class LinkTrace {
public:
    // Appends to the file at path, created when missing (never through a
    // symbolic link). Throws EComm naming the file and the reason.
    explicit LinkTrace(const std::string& path);
    ~LinkTrace();
    LinkTrace(const LinkTrace&) = delete;
    LinkTrace& operator=(const LinkTrace&) = delete;

    const std::string& Path() const { return path_; }

    // One line of text with the time stamp.
    void Note(const std::string& what, const std::string& text);
    // A frame: `direction` "tx" or "rx"; the attempt number (tx only, 1-based)
    // and for rx the expected length.
    void Frame(const char* direction, unsigned attempt, const std::uint8_t* bytes, std::size_t length,
               std::size_t expected = 0);

    // The hex text of bytes, "5A 07 FF".
    static std::string Hex(const std::uint8_t* bytes, std::size_t length);

private:
    void Line(const std::string& text);

    std::string path_;
    int fd_ = -1;
    std::mutex lock_;
};

// The process's trace; null when none is being recorded.
LinkTrace* CurrentLinkTrace();
// Starts recording into path (replacing a trace being recorded); throws EComm.
void StartLinkTrace(const std::string& path);
// Stops recording and closes the file.
void StopLinkTrace();

}  // namespace kolvex
