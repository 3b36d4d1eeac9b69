// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The PC's serial port: fixed line settings, RTS/DTR levels, and one
// request/reply exchange at a time with microsecond timing.
//
// The program has exactly one TSerCom; it lives for the whole run. It knows
// nothing of the bytes' meaning: framing and check sums belong to Frames.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/PortNames.h"

namespace kolvex {

// Why a port cannot be opened.
enum class PortProblem { None, Permission, Missing, Busy, NotSerial, Other };

// One entry of the enumerated port list: the name the user picks (a short
// alias, or the device path when there is none), the device behind it, the
// system's description (USB vendor, product, serial number) and whether this
// user may open it.
struct PortEntry {
    std::string Name;
    std::string Device;
    std::string Description;
    PortProblem Problem = PortProblem::None;
};

// Every serial device of the system: libserialport's enumeration (each with
// its alias where it has one) and the stable names in `byIdFolder`, each
// right after the device it names. Sorted like the port list.
std::vector<PortEntry> ListSerialPorts(const std::string& byIdFolder);
// Checks without opening (opening would move the modem lines) whether the
// device exists, is a terminal device and may be opened by this user.
PortProblem ProbePort(const std::string& device);
// Opens `device` briefly: None when it is a terminal this user may use,
// else why not (`osError` gets the system's error number).
PortProblem CheckTerminal(const std::string& device, int* osError = nullptr);
// The reason in the current language, for `device` (its group is named in
// the hint for a permission problem).
std::string PortProblemText(PortProblem problem, const std::string& device, int osError = 0);
// The message of port work given up on request (Abort, a signal).
std::string PortWorkAbortedText();
class NetPort;
struct NetPortDeleter {
    void operator()(NetPort* p) const;
};

enum class LineState { lsClosed, lsOpen };

class TSerCom {
public:
    static constexpr std::size_t kBufferSize = 256;

    TSerCom();
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
    std::atomic<std::uint64_t> AnswerCount{0};  // exchanges the logger answered, for the status line
    int Handle = -1;
    std::vector<PortEntry> PortList;     // sorted; the simulated port last
    std::uint8_t LoggerAddress = 255;
    std::array<std::uint8_t, kBufferSize> TxBuffer{};
    std::array<std::uint8_t, kBufferSize> RxBuffer{};

    int PortCount() const { return static_cast<int>(PortList.size()); }
    bool IsOpen() const { return Handle >= 0; }

    // Refills PortList with the serial ports that exist (ListSerialPorts) and
    // adds "SIM" last when the port has a simulated logger (SetSimulatedPort).
    void EnumeratePorts();
    // Where the name "SIM" leads for this port object; none (the default):
    // "SIM" is no port. Set on the owner's thread while no work runs.
    void SetSimulatedPort(SimulatedPortSource source) { simulated_ = std::move(source); }
    // DeviceForPort with this port's simulated logger ("SIM" starts it).
    std::optional<std::string> DeviceFor(std::string_view name) const { return DeviceForPort(name, simulated_); }
    // Opens PortName with 9600 8N1 raw, no flow control; throws EComm with
    // the reason (permission, device missing or busy, not a serial device).
    void Open();
    void Close();
    // Sends `requestLength` bytes of `request` and waits for a reply of exactly
    // `expected` bytes, copied to `reply`. `requestLength` returns the number of
    // bytes accepted. Returns the received length (= expected). Throws EComm
    // when the port is busy or all attempts failed.
    //
    // A reply is taken as soon as `expected` bytes are there; bytes that come
    // with it in the same burst are dropped by the purge of the next exchange.
    // When `accept` is given, a complete reply it refuses (a bad check sum)
    // counts as a failed attempt like a lost one; when every attempt failed
    // and at least one of them brought a refused reply, the last refused reply
    // is returned so that the caller reports what was wrong with it.
    using ReplyCheck = bool (*)(const std::uint8_t* reply, std::size_t length);
    std::size_t Transact(const std::uint8_t* request, std::size_t& requestLength,
                         std::uint8_t* reply, std::size_t expected, ReplyCheck accept = nullptr);
    void SetLineState(LineState state);

    // ---- where the port's blocking work runs --------------------------------
    // Open and every Transact hand their blocking part to the work runner
    // when one is set; the runner runs it (on any thread), returns when it has
    // ended and passes its exception on. The command-line tool sets none and
    // works in place; the desktop program's runner (base/ui/OffThread.h, set
    // by the main window) moves the work to a worker thread and keeps its
    // windows live meanwhile. Busy is set on the caller's thread before the
    // work is handed over, so a request made while work runs is refused at
    // once ("busy").
    //
    // Threads: the work reads and writes the port's handle and, for a network
    // port, calls its NetPort (whose own threads link/NetPort.h describes).
    // The port's members are set on the owner's thread (the window's thread
    // in the desktop program) before and after a piece of work, never during
    // it. While work runs, that thread may read AnswerCount and the open
    // state and call RequestAbort, nothing else: Open and Transact are
    // refused by Busy, and Close must wait until the work has ended.
    using WorkRunner = std::function<void(const std::function<void()>& work)>;
    void SetWorkRunner(WorkRunner runner) { runner_ = std::move(runner); }
    // Asks the running work to give up: each of its waits notices within
    // 50 ms, and the work throws EComm with PortWorkAbortedText(). Safe from
    // any thread; cleared when the next piece of work starts.
    void RequestAbort();
    bool AbortRequested() const { return abort_; }

    // The port, its device and every line setting, as one line of text.
    std::string SettingsText() const;
    // The device path opened (for messages and diagnostics).
    const std::string& DevicePath() const { return devicePath_; }
    // True when the open device has gone away (an adapter unplugged).
    bool LineLost() const;

private:
    void OpenPort();
    bool WriteAll(const std::uint8_t* data, std::size_t& length);
    // Moves whatever the input queue holds into the staging buffer; returns
    // the number of bytes arrived since the purge.
    std::size_t DrainInput();
    // Waits until input comes (or the deadline, at most 50 ms, or an
    // abort): wakes for the first byte that arrives.
    void WaitForInput(std::int64_t deadline);
    // Sleeps until `until` (counter time) without looking at the port: a
    // line delivers a reply a byte at a time, and waking for each would cost
    // the PC a wake-up per byte. An abort ends the sleep at once.
    void SleepUntil(std::int64_t until);
    // Reads a reply of `expected` bytes into staged_ within the reply and gap
    // time-outs (see TransactHere); returns the count received.
    std::size_t ReadReply(std::size_t requestLength, std::size_t expected);

    // Time of `bytes` on the line at BaudRate, in microseconds.
    std::uint32_t LineTime(std::size_t bytes) const;
    // Reply wait from the moment the request is written: the request's own
    // line time, then the reply time-out (network ports add the reply's line
    // time, since pieces of it may be held up on the way).
    std::uint32_t ReplyWait(std::size_t requestLength, std::size_t expected) const;

    void RunWork(const std::function<void()>& work);
    std::size_t TransactHere(const std::uint8_t* request, std::size_t& requestLength, std::uint8_t* reply,
                             std::size_t expected, ReplyCheck accept);
    void ThrowIfAborted() const;
    // After an exchange given up while the logger may still answer: waits
    // until the line has been quiet for GapTimeout (at least up to the given
    // up exchange's reply deadline, at most 1 s) and drops what came.
    void SettleAfterAbort();
    std::int64_t settleUntil_ = 0;  // reply deadline of the exchange given up; 0 = none

    WorkRunner runner_;
    SimulatedPortSource simulated_;
    std::atomic<bool> abort_{false};
    std::atomic<bool> abortSignalled_{false};  // RequestAbort signalled abortFd_ since the last work began
    int abortFd_ = -1;          // readable while an abort is asked for (wakes the waits)
    bool steadyLine_ = false;   // the last reply read came at the line's full pace
    std::int64_t turnaround_ = 0;  // counter ticks from a request's end to its reply's first byte, as last seen
    std::string devicePath_;
    std::vector<std::uint8_t> staged_;
    std::unique_ptr<NetPort, NetPortDeleter> net_;  // set while a network port is open
};

// Sorts port names ascending by a case-insensitive comparison with the
// exchange sort of the port list ("COM10" sorts before "COM2").
void SortPortNames(std::vector<PortEntry>& list);

}  // namespace kolvex
