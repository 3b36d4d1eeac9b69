#pragma once
// The PC's serial port: fixed line settings, RTS/DTR levels, and one
// request/reply exchange at a time with microsecond timing.
//
// The program has exactly one TSerCom; it lives for the whole run. It knows
// nothing of the bytes' meaning: framing and check sums belong to Frames.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kolvex {

// One entry of the enumerated port list: the short name the user picks, the
// device behind it and the system's description (e.g. a USB adapter's name).
struct PortEntry {
    std::string Name;
    std::string Device;
    std::string Description;
};

class NetPort;
struct NetPortDeleter {
    void operator()(NetPort* p) const;
};

enum class LineState { lsClosed, lsOpen };

class TSerCom {
public:
    static constexpr std::size_t kMaxListedPorts = 8;
    static constexpr std::size_t kBufferSize = 256;

    TSerCom() = default;
    ~TSerCom();
    TSerCom(const TSerCom&) = delete;
    TSerCom& operator=(const TSerCom&) = delete;

    std::int64_t LineFreeAt = 0;     // earliest moment of the next request; 0 = no wait
    std::int64_t ReplyDeadline = 0;  // moment the reply phase gives up
    std::string PortName;            // alias ("COM1", "USB0", "SIM") or a device path
    std::uint32_t BaudRate = 9600;
    std::uint32_t IdleTime = 20000;      // µs of quiet before a request
    std::uint32_t ReplyTimeout = 100000; // µs for the first reply byte
    std::uint32_t GapTimeout = 50000;    // µs between two reply bytes
    std::uint8_t Parity = 0;
    std::uint8_t LineControl = 4;        // bit 2 RTS, bit 3 DTR
    std::uint8_t Tries = 3;
    bool Busy = false;
    std::uint32_t ErrorCount = 0;
    int Handle = -1;
    std::vector<PortEntry> PortList;     // sorted; the simulated port last
    std::uint8_t LoggerAddress = 255;
    std::array<std::uint8_t, kBufferSize> TxBuffer{};
    std::array<std::uint8_t, kBufferSize> RxBuffer{};

    int PortCount() const { return static_cast<int>(PortList.size()); }
    bool IsOpen() const { return Handle >= 0; }

    // Refills PortList with the serial ports that exist (at most 8, sorted by a
    // case-insensitive comparison with an exchange sort) and adds "SIM" last
    // when the program has a simulated logger.
    void EnumeratePorts();
    // Opens PortName with 9600 8N1 raw, no flow control; throws EComm.
    void Open();
    void Close();
    // Sends `requestLength` bytes of `request` and waits for a reply of exactly
    // `expected` bytes, copied to `reply`. `requestLength` returns the number of
    // bytes accepted. Returns the received length (= expected). Throws EComm
    // when the port is busy or all attempts failed.
    std::size_t Transact(const std::uint8_t* request, std::size_t& requestLength,
                         std::uint8_t* reply, std::size_t expected);
    void SetLineState(LineState state);

    // The device path opened (for messages and diagnostics).
    const std::string& DevicePath() const { return devicePath_; }

private:
    bool WriteAll(const std::uint8_t* data, std::size_t& length);
    // Moves whatever the input queue holds into the staging buffer; returns
    // the number of bytes arrived since the purge.
    std::size_t DrainInput();
    void WaitForInput(std::int64_t deadline);

    // Reply wait from the last byte sent (network ports add the reply's own
    // line time, since pieces of it may be held up on the way).
    std::uint32_t ReplyWait(std::size_t expected) const;

    std::string devicePath_;
    std::vector<std::uint8_t> staged_;
    std::unique_ptr<NetPort, NetPortDeleter> net_;  // set while a network port is open
};

// Sorts port names ascending by a case-insensitive comparison with the
// exchange sort of the port list ("COM10" sorts before "COM2").
void SortPortNames(std::vector<PortEntry>& list);

}  // namespace kolvex
