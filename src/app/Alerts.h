// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Events of an unattended run that must reach a person, and the channels
// that carry them: a command of the user's (the event as JSON on its
// standard input), e-mail through the system's sendmail interface, and a
// desktop notification when a session bus is there. A channel that fails is
// reported back, never thrown: the download it tells about is already done.

#include <cstdint>
#include <string>
#include <vector>

#include "base/Language.h"

namespace kolvex {

struct AlertEvent {
    std::string Kind;     // "excursion", "failure" or "drift"
    std::string Logger;   // the configured name, or the port
    std::string Port;
    std::string Time;     // when the run ended, local time with offset
    std::string Summary;  // one line in the chosen language
    std::string Reason;   // a failure's reason
    std::uint64_t RecordsRead = 0, RecordsStored = 0;
    std::vector<std::string> Files;
    // Further lines of the message (one excursion, a drift figure), in the
    // chosen language; the JSON carries them as "details".
    std::vector<std::string> Details;
};

struct AlertChannels {
    std::string Command;  // run through /bin/sh -c; empty: none
    std::string MailTo;   // one address; empty: none
    bool Notify = false;  // desktop notification when a session bus is present

    bool Any() const { return !Command.empty() || !MailTo.empty() || Notify; }
};

// The summary line of a failed run.
std::string FailureSummary(const std::string& logger, const std::string& port, const std::string& reason, Lang lang);

// The event as one JSON object.
std::string AlertJson(const AlertEvent& event);

// The complete mail (headers and plain-text body, UTF-8) to `to`.
std::string AlertMail(const AlertEvent& event, const std::string& to, Lang lang);

// Whether an address may be given to sendmail: one address, no option
// look-alike, no white space or control characters.
bool UsableMailAddress(const std::string& address);

// Sends the event through every configured channel; returns one text per
// channel that failed, saying which and why.
std::vector<std::string> SendAlert(const AlertEvent& event, const AlertChannels& channels, Lang lang);

}  // namespace kolvex
