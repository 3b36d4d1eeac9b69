#pragma once
// Loggers behind a network serial server. A port written
// "rfc2217://host:port" (telnet with serial-port control) or "tcp://host:port"
// (raw bytes) is reached through a local pseudo-terminal: a bridge thread
// pumps bytes between the network connection and the terminal's master side,
// and the port object opens the slave side like any serial device, so its
// timing code is the same for every kind of port.

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

class NetPort {
public:
    // Connects and, for RFC 2217, sends the line settings (baud rate, 8 data
    // bits, parity, one stop bit, no flow control). Throws EComm naming the
    // port and the reason: name not resolved, connection refused, no answer
    // in time, server refused the serial settings.
    NetPort(const std::string& name, std::uint32_t baudRate, std::uint8_t parity);
    ~NetPort();
    NetPort(const NetPort&) = delete;
    NetPort& operator=(const NetPort&) = delete;

    // Path of the pseudo-terminal slave that stands for the remote line.
    const std::string& SlavePath() const;
    // Sends the RTS and DTR levels to the server (RFC 2217 only; the server
    // answers asynchronously and its answer is not waited for).
    void SetLines(bool rts, bool dtr);
    // Reconnects when the connection has been lost since the last exchange;
    // throws EComm with the reason when that fails.
    void EnsureConnected();

    // Seconds allowed for the connection and for each answer of the server.
    static constexpr int kConnectSeconds = 5;

private:
    struct Bridge;
    std::unique_ptr<Bridge> b_;
};

}  // namespace kolvex
