// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's exception classes. Every failure that reaches the user is one
// of these; each carries its message, already composed in the language that
// was current when it was raised. The user interface shows them in one place.

#include <stdexcept>
#include <string>

namespace kolvex {

// Base of every error of this program.
class EKolvex : public std::runtime_error {
public:
    explicit EKolvex(const std::string& message) : std::runtime_error(message) {}
};

#define KOLVEX_DECLARE_ERROR(Name)                                         \
    class Name : public EKolvex {                                          \
    public:                                                                \
        explicit Name(const std::string& message) : EKolvex(message) {}    \
    }

KOLVEX_DECLARE_ERROR(EComm);        // serial port and read replies
KOLVEX_DECLARE_ERROR(ENet);         // logger writes
KOLVEX_DECLARE_ERROR(ESetPC);       // configured port not found
KOLVEX_DECLARE_ERROR(EAParamA);     // archiving parameters
KOLVEX_DECLARE_ERROR(ESetCas);      // logger clock
KOLVEX_DECLARE_ERROR(EADM);         // archive files and tables
KOLVEX_DECLARE_ERROR(EADbfErase);   // record deletion and pack
KOLVEX_DECLARE_ERROR(EADbfConvert); // old database conversion
KOLVEX_DECLARE_ERROR(EMath);        // arithmetic failure in a conversion

#undef KOLVEX_DECLARE_ERROR

// The common error display appends a full stop unless the text's last
// character code is at most that of the full stop (UTF-8 aware).
std::string WithFullStop(const std::string& message);

}  // namespace kolvex
