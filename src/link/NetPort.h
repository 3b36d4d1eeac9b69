// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Loggers behind a network serial server. A port written
// "rfc2217://host:port" (telnet with serial-port control) or "tcp://host:port"
// (raw bytes) is reached through a local pseudo-terminal: a bridge thread
// pumps bytes between the network connection and the terminal's master side,
// and the port object opens the slave side like any serial device, so its
// timing code is the same for every kind of port.
//
// The telnet side follows the option negotiation rules of telnet (each side
// answers a request only when it changes the option's state, so no loops):
// the program offers COM-PORT-OPTION, takes the server's WILL and DO in any
// order, in one packet or several, and refuses only options it does not use.
// The line settings are sent once the server has agreed (DO); each answer
// must carry the value asked for.
//
// Threads. Three threads meet here, and only under the bridge's lock:
// - The bridge thread (started by the constructor, joined by the destructor)
//   owns the connected socket and the terminal's master side: it alone reads
//   and writes them, runs the telnet negotiation and notices a lost
//   connection. The name look-up runs on a short-lived thread of its own.
// - The port's work thread calls the constructor (name look-up and connect),
//   EnsureConnected, Generation and Lost: it is whatever thread runs
//   TSerCom's work (TSerCom::SetWorkRunner; the desktop program's worker,
//   base/ui/OffThread.h; the command-line tool's main thread), one piece of
//   work at a time, and it reads and writes only the slave side.
// - The port's owner (the window's thread in the desktop program) calls
//   SetLines and the destructor through TSerCom's Open, Close and line
//   state, never while port work runs (the port's busy flag refuses that).
//   While work runs it may only ask it to give up (TSerCom::RequestAbort):
//   the `abort` flag is read by every wait here within 50 ms.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace kolvex {

struct NetAddress {
    bool Rfc2217 = false;  // telnet with serial-port control; else raw TCP
    std::string Host;
    std::string Port;
};

// True for names starting with "rfc2217://" or "tcp://" (any case).
bool IsNetworkPort(std::string_view name);
// The parts of a network port name; nullopt when it is not a network port or
// the host or the port number is missing or malformed.
std::optional<NetAddress> ParseNetworkPort(std::string_view name);

// Default times for network ports (ms): the reply time-out covers the round
// trip and the server's buffering on top of the logger's own answer time.
inline constexpr std::int32_t kNetworkIdleMs = 20;
inline constexpr std::int32_t kNetworkSlotMs = 300;

// How long a lost connection is re-made (with growing pauses between the
// attempts) before the exchange that needs it fails; 30 s unless set.
void SetNetworkReconnectSeconds(int seconds);
int NetworkReconnectSeconds();

class NetPort {
public:
    // Connects and, for RFC 2217, sends the line settings (baud rate, 8 data
    // bits, parity, one stop bit, no flow control). Throws EComm naming the
    // port and the reason: name not resolved, connection refused, no answer
    // in time, no RFC 2217 answer, a setting answered with another value.
    // Every wait gives up within 50 ms once `*abort` is set.
    NetPort(const std::string& name, std::uint32_t baudRate, std::uint8_t parity,
            const std::atomic<bool>* abort = nullptr);
    ~NetPort();
    NetPort(const NetPort&) = delete;
    NetPort& operator=(const NetPort&) = delete;

    // Path of the pseudo-terminal slave that stands for the remote line.
    const std::string& SlavePath() const;
    // Sends the RTS and DTR levels to the server (RFC 2217 only; the server
    // answers asynchronously and its answer is not waited for).
    void SetLines(bool rts, bool dtr);
    // When the connection has been lost, makes it again, pausing 0.1 s, then
    // twice as long each time up to 2 s, for up to NetworkReconnectSeconds();
    // throws EComm with the reason when that fails.
    void EnsureConnected();
    // Counts the connections made; a change tells that the line was re-made.
    std::uint64_t Generation() const;
    // True when the connection has been lost and not yet re-made.
    bool Lost() const;

    // Seconds allowed for the name look-up, for the connection and for the
    // server's answers.
    static constexpr int kConnectSeconds = 5;

private:
    struct Bridge;
    std::unique_ptr<Bridge> b_;
};

}  // namespace kolvex
