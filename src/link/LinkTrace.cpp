// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/LinkTrace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/Errors.h"
#include "base/Language.h"

namespace kolvex {

namespace {

std::atomic<LinkTrace*> g_trace{nullptr};
std::mutex g_traceOwner;
std::unique_ptr<LinkTrace> g_owned;

std::string Stamp() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    char b[32];
    std::snprintf(b, sizeof b, "%12ld.%06ld", static_cast<long>(ts.tv_sec), ts.tv_nsec / 1000);
    return b;
}

}  // namespace

LinkTrace::LinkTrace(const std::string& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    struct stat st {};
    int error = fd_ < 0 ? errno : 0;
    if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) error = EINVAL;
    if (error) {
        if (fd_ >= 0) ::close(fd_);
        throw EComm(Tr("Záznam komunikace  " + path + "  nelze zapsat: ",
                       "The communication record  " + path + "  cannot be written: ") +
                    std::strerror(error));
    }
    const std::time_t now = std::time(nullptr);
    std::tm l{};
    ::localtime_r(&now, &l);
    char b[64];
    std::strftime(b, sizeof b, "%Y-%m-%d %H:%M:%S %z", &l);
    Line(std::string("kolvex12 communication trace, started ") + b +
         " (times: seconds of the monotonic clock)");
}

LinkTrace::~LinkTrace() {
    if (fd_ >= 0) ::close(fd_);
}

void LinkTrace::Line(const std::string& text) {
    std::lock_guard<std::mutex> g(lock_);
    const std::string line = text + "\n";
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // the trace never stops the communication
        done += static_cast<std::size_t>(n);
    }
}

std::string LinkTrace::Hex(const std::uint8_t* bytes, std::size_t length) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    s.reserve(length * 3);
    for (std::size_t i = 0; i < length; ++i) {
        if (i) s += ' ';
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 15];
    }
    return s;
}

void LinkTrace::Note(const std::string& what, const std::string& text) { Line(Stamp() + "  " + what + "  " + text); }

void LinkTrace::Frame(const char* direction, unsigned attempt, const std::uint8_t* bytes, std::size_t length,
                      std::size_t expected) {
    std::string head = Stamp() + "  " + direction;
    if (attempt) head += " #" + std::to_string(attempt);
    else head += "   ";
    std::string text = head + " " + Hex(bytes, length);
    if (expected) text += "  (" + std::to_string(length) + " of " + std::to_string(expected) + " bytes)";
    Line(text);
}

LinkTrace* CurrentLinkTrace() { return g_trace.load(); }

void StartLinkTrace(const std::string& path) {
    auto fresh = std::make_unique<LinkTrace>(path);
    std::lock_guard<std::mutex> g(g_traceOwner);
    g_trace.store(fresh.get());
    g_owned = std::move(fresh);
}

void StopLinkTrace() {
    std::lock_guard<std::mutex> g(g_traceOwner);
    g_trace.store(nullptr);
    g_owned.reset();
}

}  // namespace kolvex
