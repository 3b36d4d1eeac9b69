// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/LockFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "base/Language.h"
#include "base/SafeFile.h"

namespace kolvex {

namespace {

std::string& ProgramName() {
    static std::string name = program_invocation_short_name ? program_invocation_short_name : "kolvex12";
    return name;
}

// A folder that is ours: a real folder (not a link), owned by us, that
// nobody else may write.
bool OwnFolder(const std::string& dir) {
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 022) == 0;
}

// Creates dir (mode 0700) and its missing parents.
bool MakeFolder(const std::string& dir) {
    if (OwnFolder(dir)) return true;
    for (std::size_t at = 1; at != std::string::npos;) {
        at = dir.find('/', at + 1);
        const std::string part = dir.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return OwnFolder(dir);
}

std::string Hex(unsigned long long v) {
    char b[24];
    std::snprintf(b, sizeof b, "%llx", v);
    return b;
}

unsigned long long Fnv1a(const std::string& s) {
    unsigned long long h = 1469598103934665603ULL;
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ULL;
    return h;
}

std::string Sanitized(const std::string& s) {
    std::string out;
    for (unsigned char c : s) out += std::isalnum(c) || c == '.' || c == '-' ? static_cast<char>(c) : '_';
    return out.substr(0, 80) + "-" + Hex(Fnv1a(s));
}

struct Held {
    int Fd = -1;
    int Count = 0;
    std::thread::id Owner;
};

std::mutex& Mutex() {
    static std::mutex m;
    return m;
}

std::map<std::string, Held>& Registry() {
    static std::map<std::string, Held> r;
    return r;
}

std::string HolderText(int fd) {
    char buf[256];
    const ssize_t n = ::pread(fd, buf, sizeof buf - 1, 0);
    std::string text = n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    const auto space = text.rfind(' ');
    if (text.empty() || space == std::string::npos) return Tr("jiný běh programu", "another run of the program");
    return text.substr(0, space) + " (PID " + text.substr(space + 1) + ")";
}

}  // namespace

void SetLockProgramName(const std::string& name) { ProgramName() = name; }

std::string LockFolder() {
    // A folder of the caller's choice first (tests and special set-ups).
    if (const char* own = std::getenv("KOLVEX_LOCK_DIR"); own && own[0] == '/' && MakeFolder(own)) return own;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/' && OwnFolder(runtime)) {
        const std::string dir = std::string(runtime) + "/kolvex12";
        if (MakeFolder(dir)) return dir;
    }
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    std::string dir;
    if (data && data[0] == '/') dir = std::string(data) + "/kolvex12";
    else if (home && home[0] == '/') dir = std::string(home) + "/.local/share/kolvex12";
    if (dir.empty() || !MakeFolder(dir))
        throw std::runtime_error(Tr("Složku pro zámky nelze připravit", "No folder for the locks can be prepared") +
                                 (dir.empty() ? std::string() : ": " + dir + ": " + std::strerror(errno)));
    return dir;
}

std::string LockNameForDevice(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
            return "port-" + Hex(major(st.st_rdev)) + "-" + Hex(minor(st.st_rdev)) + ".lock";
        return "file-" + Hex(st.st_dev) + "-" + Hex(st.st_ino) + ".lock";
    }
    return "name-" + Sanitized(path) + ".lock";
}

std::string LockNameForTable(const std::string& tablePath) {
    const std::size_t slash = tablePath.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : tablePath.substr(0, slash);
    const std::string name = slash == std::string::npos ? tablePath : tablePath.substr(slash + 1);
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) return "table-" + Sanitized(tablePath) + ".lock";
    return "table-" + Hex(st.st_dev) + "-" + Hex(st.st_ino) + "-" + Hex(Fnv1a(name)) + ".lock";
}

std::unique_ptr<LockFile> LockFile::TryTake(const std::string& name, std::string* holder) {
    std::lock_guard<std::mutex> guard(Mutex());
    auto& reg = Registry();
    if (auto it = reg.find(name); it != reg.end()) {
        if (it->second.Owner == std::this_thread::get_id()) {
            ++it->second.Count;
            return std::unique_ptr<LockFile>(new LockFile(name));
        }
        if (holder) *holder = ProgramName() + " (PID " + std::to_string(::getpid()) + ")";
        return nullptr;
    }
    const std::string path = LockFolder() + "/" + name;
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
    struct stat st {};
    int problem = 0;
    if (!fd || ::fstat(fd.Get(), &st) != 0) problem = errno;
    else if (!S_ISREG(st.st_mode)) problem = EINVAL;
    else if (st.st_uid != ::geteuid()) problem = EPERM;
    if (problem)
        throw std::runtime_error(Tr("Zámek  " + path + "  nelze otevřít: ", "The lock  " + path + "  cannot be opened: ") +
                                 FileErrorText(problem));
    if ((st.st_mode & 07777) != 0600) (void)::fchmod(fd.Get(), 0600);
    while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK)
            throw std::runtime_error(Tr("Zámek  " + path + "  nelze získat: ", "The lock  " + path + "  cannot be taken: ") +
                                     std::strerror(errno));
        if (holder) *holder = HolderText(fd.Get());
        return nullptr;
    }
    const std::string text = ProgramName() + " " + std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd.Get(), 0) == 0) (void)!::pwrite(fd.Get(), text.data(), text.size(), 0);
    reg[name] = Held{fd.Release(), 1, std::this_thread::get_id()};
    return std::unique_ptr<LockFile>(new LockFile(name));
}

LockFile::~LockFile() {
    std::lock_guard<std::mutex> guard(Mutex());
    auto& reg = Registry();
    auto it = reg.find(name_);
    if (it == reg.end() || --it->second.Count > 0) return;
    // The content goes first, while the lock is still ours; closing releases it.
    (void)!::ftruncate(it->second.Fd, 0);  // best effort: a destructor reports nothing
    ::close(it->second.Fd);
    reg.erase(it);
}

}  // namespace kolvex
