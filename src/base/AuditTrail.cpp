// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/AuditTrail.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>

#include "base/Sha256.h"

namespace kolvex {

using nlohmann::json;

namespace {

struct AuditSettings {
    std::mutex Lock;
    std::string Folder;
    std::string Program = "kolvex12";
    std::string Version;
};

AuditSettings& Settings() {
    static AuditSettings s;
    return s;
}

const std::string kNoPrevious(64, '0');

std::string UserName() {
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return pw->pw_name;
    if (const char* u = std::getenv("USER"); u && *u) return u;
    return std::to_string(::geteuid());
}

std::string HostName() {
    char b[256] = {};
    if (::gethostname(b, sizeof b - 1) != 0) return "";
    return b;
}

// UTC "YYYY-MM-DDThh:mm:ssZ" and local "YYYY-MM-DDThh:mm:ss+hh:mm".
std::pair<std::string, std::string> TimeTexts(std::time_t t) {
    std::tm u{}, l{};
    ::gmtime_r(&t, &u);
    ::localtime_r(&t, &l);
    char a[64], b[64];
    std::strftime(a, sizeof a, "%Y-%m-%dT%H:%M:%SZ", &u);
    std::strftime(b, sizeof b, "%Y-%m-%dT%H:%M:%S", &l);
    const long off = l.tm_gmtoff;
    char z[32];
    std::snprintf(z, sizeof z, "%c%02ld:%02ld", off < 0 ? '-' : '+', std::labs(off) / 3600, std::labs(off) % 3600 / 60);
    return {a, std::string(b) + z};
}

[[noreturn]] void WriteFailed(const std::string& path, int error) {
    throw EAudit(Tr("Akce byla provedena, ale její záznam do auditního protokolu  " + path +
                        "  se nepodařilo zapsat: ",
                    "The action was carried out, but its entry in the audit trail  " + path +
                        "  could not be written: ") +
                 std::strerror(error));
}

// The last line of the open file (without its line feed) and whether the
// file ends with one.
bool ReadLastLine(int fd, std::uint64_t size, std::string& line, bool& endsWithNewline) {
    line.clear();
    endsWithNewline = true;
    if (size == 0) return true;
    std::string tail;
    std::uint64_t end = size;
    char last = 0;
    if (::pread(fd, &last, 1, static_cast<off_t>(size - 1)) != 1) return false;
    endsWithNewline = last == '\n';
    if (endsWithNewline) --end;
    while (end > 0) {
        const std::uint64_t chunk = std::min<std::uint64_t>(end, 4096);
        std::string piece(chunk, '\0');
        if (::pread(fd, piece.data(), chunk, static_cast<off_t>(end - chunk)) != static_cast<ssize_t>(chunk))
            return false;
        const auto nl = piece.rfind('\n');
        if (nl != std::string::npos) {
            line = piece.substr(nl + 1) + tail;
            return true;
        }
        tail = piece + tail;
        end -= chunk;
    }
    line = tail;
    return true;
}

bool WriteWhole(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

void SetAuditProgram(const std::string& name, const std::string& version) {
    std::lock_guard<std::mutex> g(Settings().Lock);
    Settings().Program = name;
    Settings().Version = version;
}

void SetAuditFolder(const std::string& folder) {
    std::lock_guard<std::mutex> g(Settings().Lock);
    Settings().Folder = folder.empty() ? std::string() : AbsolutePath(folder);
}

std::string AuditFolder() {
    std::lock_guard<std::mutex> g(Settings().Lock);
    return Settings().Folder;
}

std::string AuditFilePath(const std::string& folder) {
    return (std::filesystem::path(folder) / kAuditFileName).string();
}

std::string AbsolutePath(const std::string& path) {
    std::error_code ec;
    const auto p = std::filesystem::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

json TableObject(const std::string& path) { return {{"table", AbsolutePath(path)}}; }

void WriteAudit(const AuditEvent& event) {
    const std::string folder = AuditFolder();
    if (folder.empty()) return;
    AppendAuditEntry(folder, event);
}

std::string WriteAuditReporting(const AuditEvent& event) noexcept {
    try {
        WriteAudit(event);
        return "";
    } catch (const std::exception& e) {
        return e.what();
    }
}

void AppendAuditEntry(const std::string& folder, const AuditEvent& event) {
    const std::string path = AuditFilePath(folder);
    std::string program, version;
    {
        std::lock_guard<std::mutex> g(Settings().Lock);
        program = Settings().Program;
        version = Settings().Version;
    }

    // The tables first: their state right after the action.
    json tables = json::array();
    for (const std::string& t : event.Tables) {
        const auto d = DigestFile(t);
        if (!d) WriteFailed(path + " (" + t + ")", errno);
        tables.push_back({{"path", AbsolutePath(t)}, {"size", d->Size}, {"sha256", d->Sha256}});
    }
    for (const std::string& t : event.DeletedTables) tables.push_back({{"path", AbsolutePath(t)}, {"deleted", true}});

    // Created exclusively when new, never through a symbolic link.
    bool created = false;
    int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) created = true;
    else if (errno == EEXIST) fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) WriteFailed(path, errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } const closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) WriteFailed(path, errno);
    if (!S_ISREG(st.st_mode)) WriteFailed(path, EINVAL);
    // One writer at a time: the desktop program and a nightly run may share the folder.
    if (::flock(fd, LOCK_EX) != 0) WriteFailed(path, errno);
    if (::fstat(fd, &st) != 0) WriteFailed(path, errno);

    std::string previous;
    bool endsWithNewline = true;
    if (!ReadLastLine(fd, static_cast<std::uint64_t>(st.st_size), previous, endsWithNewline)) WriteFailed(path, errno);
    std::int64_t seq = 1;
    if (st.st_size > 0) {
        const json p = json::parse(previous, nullptr, false);
        seq = p.is_object() && p.contains("seq") && p["seq"].is_number_integer() ? p["seq"].get<std::int64_t>() + 1 : 0;
    }

    const std::time_t now = std::time(nullptr);
    const auto [utc, local] = TimeTexts(now);
    json entry = json::object();
    entry["seq"] = seq;
    entry["utc"] = utc;
    entry["local"] = local;
    entry["user"] = UserName();
    entry["host"] = HostName();
    entry["program"] = program;
    entry["version"] = version;
    entry["action"] = event.Action;
    entry["object"] = event.Object;
    entry["details"] = event.Details;
    if (!tables.empty()) entry["tables"] = tables;
    entry["prev"] = st.st_size > 0 ? Sha256Hex(previous) : kNoPrevious;

    std::string line = entry.dump(-1, ' ', false, json::error_handler_t::replace);
    line += '\n';
    // A line cut short by a crash stays a line of its own.
    if (!endsWithNewline) line = "\n" + line;
    if (!WriteWhole(fd, line)) WriteFailed(path, errno ? errno : EIO);
    if (::fsync(fd) != 0) WriteFailed(path, errno);
    if (created) {
        const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            (void)::fsync(dfd);
            ::close(dfd);
        }
    }
}

// ---- reading ----------------------------------------------------------------

std::vector<AuditLine> ReadAuditTrail(const std::string& path) {
    std::vector<AuditLine> lines;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return lines;
        throw EAudit(Tr("Auditní protokol  " + path + "  nelze přečíst: ", "The audit trail  " + path + "  cannot be read: ") +
                     std::strerror(errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EAudit(Tr("Auditní protokol  " + path + "  není soubor", "The audit trail  " + path + "  is not a file"));
    }
    std::string all;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            throw EAudit(Tr("Auditní protokol  " + path + "  nelze přečíst: ",
                            "The audit trail  " + path + "  cannot be read: ") +
                         std::strerror(e));
        }
        if (n == 0) break;
        all.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    std::size_t start = 0, number = 0;
    while (start < all.size()) {
        auto nl = all.find('\n', start);
        if (nl == std::string::npos) nl = all.size();
        AuditLine l;
        l.Number = ++number;
        l.Text = all.substr(start, nl - start);
        l.Entry = json::parse(l.Text, nullptr, false);
        l.Valid = l.Entry.is_object();
        lines.push_back(std::move(l));
        start = nl + 1;
    }
    return lines;
}

std::optional<std::int64_t> AuditEntryTime(const json& entry) {
    if (!entry.is_object() || !entry.contains("utc") || !entry["utc"].is_string()) return std::nullopt;
    std::tm t{};
    const std::string s = entry["utc"].get<std::string>();
    if (std::sscanf(s.c_str(), "%d-%d-%dT%d:%d:%dZ", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min,
                    &t.tm_sec) != 6)
        return std::nullopt;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return static_cast<std::int64_t>(::timegm(&t));
}

std::optional<std::int64_t> ParseAuditTime(const std::string& text, bool endOfPeriod) {
    std::tm t{};
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char sep = 0, tail = 0;
    int parts = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%c", &y, &mo, &d, &sep, &h, &mi, &s, &tail) == 7)
        parts = 3;
    else if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d%c", &y, &mo, &d, &sep, &h, &mi, &tail) == 6)
        parts = 2;
    else if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &mo, &d, &tail) == 3)
        parts = 1;
    if (!parts || (parts > 1 && sep != ' ' && sep != 'T')) return std::nullopt;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 || s < 0)
        return std::nullopt;
    if (endOfPeriod && parts == 1) h = 23, mi = 59, s = 59;
    if (endOfPeriod && parts == 2) s = 59;
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    t.tm_sec = s;
    t.tm_isdst = -1;
    const std::time_t v = std::mktime(&t);
    if (v == static_cast<std::time_t>(-1)) return std::nullopt;
    return static_cast<std::int64_t>(v);
}

std::string AuditActionText(const std::string& action, Lang lang) {
    static const std::map<std::string, std::pair<const char*, const char*>> texts = {
        {audit::ParameterStore, {"Uložení parametrů archivace", "Archiving parameters stored"}},
        {audit::ClockSet, {"Nastavení času", "Clock set"}},
        {audit::ArchiveErase, {"Vymazání archivace", "Archive erased"}},
        {audit::Download, {"Čtení archivace", "Archive download"}},
        {audit::RecordDeletion, {"Odstranění záznamů", "Records deleted"}},
        {audit::TableDeletion, {"Smazání databáze", "Database deleted"}},
        {audit::Repair, {"Oprava tabulky", "Table repaired"}},
        {audit::Conversion, {"Převod staré databáze", "Old database converted"}},
    };
    const auto it = texts.find(action);
    if (it == texts.end()) return action;
    return lang == Lang::English ? it->second.second : it->second.first;
}

std::string AuditObjectText(const json& entry, Lang lang) {
    if (!entry.is_object() || !entry.contains("object") || !entry["object"].is_object()) return "";
    const json& o = entry["object"];
    if (o.contains("table") && o["table"].is_string()) return o["table"].get<std::string>();
    std::string s;
    if (o.contains("logger_type") && o["logger_type"].is_number())
        s += Tr(lang, "typ ", "type ") + std::to_string(o["logger_type"].get<int>());
    if (o.contains("serial") && o["serial"].is_string()) {
        if (!s.empty()) s += ", ";
        s += Tr(lang, "výr. číslo ", "serial ") + o["serial"].get<std::string>();
    }
    return s;
}

namespace {

std::string Plain(const json& v) { return v.is_string() ? v.get<std::string>() : v.dump(); }

void Flatten(const json& v, const std::string& prefix, std::string& out) {
    // A list of changed fields reads "field: old -> new".
    if (v.is_array() && !v.empty() && v[0].is_object() && v[0].contains("field")) {
        for (const json& c : v) {
            if (!out.empty()) out += "  ";
            out += Plain(c.value("field", json())) + ": " + Plain(c.value("old", json())) + " -> " +
                   Plain(c.value("new", json()));
        }
        return;
    }
    if (v.is_object()) {
        for (auto it = v.begin(); it != v.end(); ++it)
            Flatten(it.value(), prefix.empty() ? it.key() : prefix + "." + it.key(), out);
        return;
    }
    if (!out.empty()) out += "  ";
    out += prefix + "=" + (v.is_string() ? v.get<std::string>() : v.dump());
}

}  // namespace

std::string AuditDetailsText(const json& entry) {
    std::string out;
    if (entry.is_object() && entry.contains("details")) Flatten(entry["details"], "", out);
    return out;
}

// ---- verification -----------------------------------------------------------

AuditVerification VerifyAuditTrail(const std::string& path) {
    AuditVerification v;
    const std::vector<AuditLine> lines = ReadAuditTrail(path);
    struct Last {
        std::size_t Line;
        bool Deleted;
        std::uint64_t Size;
        std::string Sha;
    };
    std::map<std::string, Last> tables;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const AuditLine& l = lines[i];
        const std::string n = std::to_string(l.Number);
        if (!l.Valid) {
            v.Problems.push_back({l.Number, "", Tr("řádek " + n + ": není platný záznam", "line " + n + ": not a valid entry")});
            continue;
        }
        ++v.Entries;
        const std::string expected = i == 0 ? kNoPrevious : Sha256Hex(lines[i - 1].Text);
        const json& prev = l.Entry.contains("prev") ? l.Entry["prev"] : json();
        if (!prev.is_string() || prev.get<std::string>() != expected)
            v.Problems.push_back({l.Number, "",
                                  i == 0 ? Tr("řádek 1: protokol nezačíná prvním záznamem (začátek chybí)",
                                              "line 1: the trail does not start with its first entry (its beginning is missing)")
                                         : Tr("řádek " + n + ": řetěz je přerušen (předchozí řádek byl změněn, odstraněn nebo vložen)",
                                              "line " + n + ": the chain is broken (the line before it was changed, removed or inserted)")});
        if (l.Entry.contains("tables") && l.Entry["tables"].is_array()) {
            for (const json& t : l.Entry["tables"]) {
                if (!t.is_object() || !t.contains("path") || !t["path"].is_string()) continue;
                Last last{l.Number, t.value("deleted", false), 0, ""};
                if (!last.Deleted) {
                    last.Size = t.value("size", std::uint64_t{0});
                    last.Sha = t.value("sha256", std::string());
                }
                tables[t["path"].get<std::string>()] = last;
            }
        }
    }
    v.Tables = tables.size();
    for (const auto& [p, last] : tables) {
        const std::string n = std::to_string(last.Line);
        std::error_code ec;
        const bool exists = std::filesystem::exists(std::filesystem::symlink_status(p, ec));
        if (last.Deleted) {
            if (exists)
                v.Problems.push_back({0, p, Tr("tabulka existuje, ačkoli ji program smazal (řádek " + n + ")",
                                               "the table exists although the program deleted it (line " + n + ")")});
            continue;
        }
        if (!exists) {
            v.Problems.push_back({0, p, Tr("tabulka chybí (naposledy zapsána na řádku " + n + ")",
                                           "the table is missing (last written at line " + n + ")")});
            continue;
        }
        const auto d = DigestFile(p);
        if (!d) {
            v.Problems.push_back({0, p, Tr("tabulku nelze přečíst: ", "the table cannot be read: ") + std::strerror(errno)});
            continue;
        }
        if (d->Size != last.Size || d->Sha256 != last.Sha)
            v.Problems.push_back({0, p, Tr("tabulka byla změněna mimo program (od řádku " + n + ")",
                                           "the table was changed outside the program (since line " + n + ")")});
    }
    return v;
}

std::string AuditVerificationText(const AuditVerification& v, Lang lang) {
    if (v.Ok())
        return Tr(lang, "Auditní protokol je neporušený: záznamů " + std::to_string(v.Entries) + ", tabulek " +
                            std::to_string(v.Tables),
                  "The audit trail is intact: " + std::to_string(v.Entries) + " entries, " +
                      std::to_string(v.Tables) + " tables");
    return Tr(lang, "Auditní protokol: nalezeno problémů " + std::to_string(v.Problems.size()),
              "The audit trail: " + std::to_string(v.Problems.size()) + " problems found");
}

}  // namespace kolvex
