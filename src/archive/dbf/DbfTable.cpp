// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/dbf/DbfTable.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "base/Errors.h"
#include "base/Language.h"
#include "base/ReadFile.h"
#include "archive/FileOps.h"
#include "base/SafeFile.h"
#include "archive/dbf/DbfCodec.h"
#include "base/Cp1250.h"

namespace kolvex::dbf {

namespace {

constexpr std::size_t kWindowBytes = 1 << 20;
constexpr std::size_t kPendingBytes = 256 << 10;
constexpr std::uint8_t kEof = 0x1A;

[[noreturn]] void Fail(const char* cs, const char* en, const std::string& detail = {}) {
    std::string m = Tr(cs, en);
    if (!detail.empty()) m += ": " + detail;
    throw EADM(m);
}

std::uint32_t LE32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t LE16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
void PutLE32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void PutLE16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

// Field kind as the rest of the program sees it.
FieldType KindOf(char type, std::uint32_t length, std::uint8_t decimals) {
    switch (type) {
        case 'T': case '@': return FieldType::DateTime;
        case 'B': case 'O': case 'F': return FieldType::Float;
        case 'N': return (decimals == 0 && length <= 9) ? FieldType::Integer : FieldType::Float;
        case 'I': return FieldType::Integer;
        case '+': return FieldType::AutoInc;
        case 'Y': return FieldType::Currency;
        case 'C': case 'V': case 'M': case 'G': case 'P': return FieldType::Text;
        case 'D': return FieldType::Date;
        case 'L': return FieldType::Logical;
        default: return FieldType::Unknown;
    }
}

// Whether a field type and length are valid at a level.
bool FieldValid(char type, std::uint32_t length, DbfLevel level) {
    switch (type) {
        case 'C': return length >= 1 && length <= 65535;
        case 'N': case 'F': return length >= 1 && length <= 40;
        case 'D': return length == 8;
        case 'L': return length == 1;
        case 'T': case '@': case 'O': case 'Y': return length == 8;
        case 'B': return level == DbfLevel::VisualFoxPro && length == 8;
        case 'V': return level == DbfLevel::VisualFoxPro && length >= 1 && length <= 254;
        case 'M': case 'G': case 'P': return length == 4 || length == 10;
        case 'I': case '+': return length == 4;
        default: return false;
    }
}

std::string VersionText(std::uint8_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%02X", v);
    return b;
}

std::string ShortestText(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

void StampDate(std::uint8_t* h) {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    h[1] = static_cast<std::uint8_t>(tm.tm_year % 256);
    h[2] = static_cast<std::uint8_t>(tm.tm_mon + 1);
    h[3] = static_cast<std::uint8_t>(tm.tm_mday);
}

}  // namespace

void DbfTable::FailIo(const char* cs, const char* en) const {
    // A short transfer without an error code is a full disk or a vanished file.
    const int e = errno;
    Fail(cs, en, path_ + ": " + (e ? std::strerror(e) : Tr("neúplný přenos", "incomplete transfer")));
}

DbfTable::~DbfTable() {
    try {
        Close();
    } catch (...) {
    }
}

void DbfTable::Reset() {
    fd_ = -1;
    writable_ = exclusive_ = linked_ = false;
    fields_.clear();
    header_.clear();
    nullFlagsOffset_ = -1;
    nullFlagsLength_ = 0;
    memoFd_ = -1;
    memoFox_ = memoMissing_ = false;
    memoBlock_ = 512;
    memoSize_ = 0;
    headerCount_ = fileCount_ = physCount_ = 0;
    pending_.clear();
    win_.clear();
    winFirst_ = winCount_ = 0;
    dirtyLo_ = dirtyHi_ = -1;
    edit_.clear();
    state_ = State::Browse;
    cur_ = -1;
    eof_ = bof_ = true;
    deletedKnown_ = false;
    deleted_ = 0;
    damagedKnown_ = false;
    damaged_ = 0;
    liveValid_ = false;
    live_.clear();
    recovered_ = false;
    tornTail_ = false;
    modified_ = false;
    missing_ = 0;
}

// ---- create / open / close -------------------------------------------------

void DbfTable::Create(const std::string& path, const std::vector<FieldDef>& defs) {
    Close();
    if (defs.empty() || defs.size() > 254) Fail("Tabulka musí mít 1 až 254 polí", "A table needs 1 to 254 fields");
    const std::size_t n = defs.size();
    const std::uint32_t headerLen = static_cast<std::uint32_t>(32 + 32 * n + 1 + 263);
    std::vector<std::uint8_t> h(headerLen + 1, 0);
    h[0] = 0x30;
    StampDate(h.data());
    std::uint32_t offset = 1;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t* d = h.data() + 32 + 32 * i;
        const std::string name = Utf8ToCp1250(defs[i].Name).substr(0, 10);
        if (name.empty()) Fail("Pole bez jména", "A field without a name");
        std::memcpy(d, name.data(), name.size());
        char type = 'C';
        std::uint32_t len = 0;
        std::uint8_t dec = 0;
        switch (defs[i].Type) {
            case FieldType::DateTime: type = 'T', len = 8; break;
            case FieldType::Float: type = 'B', len = 8, dec = 4; break;
            case FieldType::Integer: case FieldType::AutoInc: type = 'I', len = 4; break;
            case FieldType::Currency: type = 'Y', len = 8, dec = 4; break;
            case FieldType::Date: type = 'D', len = 8; break;
            case FieldType::Logical: type = 'L', len = 1; break;
            case FieldType::Text:
                type = 'C';
                len = defs[i].Size > 0 ? static_cast<std::uint32_t>(std::min(defs[i].Size, 254)) : 20;
                break;
            default: Fail("Neznámý typ pole", "Unknown field type", defs[i].Name);
        }
        d[11] = static_cast<std::uint8_t>(type);
        PutLE32(d + 12, offset);
        d[16] = static_cast<std::uint8_t>(len);
        d[17] = dec;
        offset += len;
    }
    if (offset > 65535) Fail("Záznam je příliš dlouhý", "The record is too long");
    h[32 + 32 * n] = 0x0D;
    PutLE32(h.data() + 4, 0);
    PutLE16(h.data() + 8, static_cast<std::uint16_t>(headerLen));
    PutLE16(h.data() + 10, static_cast<std::uint16_t>(offset));
    h[29] = 0xC8;  // Windows 1250
    h[headerLen] = kEof;
    if (!WriteFileAtomic(path, h.data(), h.size()))
        Fail("Tabulku se nepodařilo vytvořit", "The table was not created", path + ": " + std::strerror(errno));
    Open(path, false);
}

// Opens the file for the table: read-write when the name is the file itself,
// read-only when it cannot be written or is reached through a symbolic link;
// a regular file only, locked shared or exclusive. Sets the file members.
std::int64_t DbfTable::OpenFile(const std::string& path, bool exclusive) {
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    bool writable = true;
    const bool linked = fd < 0 && errno == ELOOP;
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM || errno == ELOOP)) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        writable = false;
    }
    if (fd < 0) Fail("Tabulku se nepodařilo otevřít", "The table was not opened", path + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Fail("Tabulka není soubor", "The table is not a file", path);
    }
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        ::close(fd);
        Fail("Tabulka je používána", "The table is in use", path);
    }
    fd_ = fd;
    writable_ = writable;
    linked_ = linked;
    exclusive_ = exclusive;
    path_ = path;
    return st.st_size;
}

// The fixed header: version, counts, lengths and code page, then the whole
// header with the field descriptors.
void DbfTable::ReadHeader(std::int64_t size) {
    std::uint8_t base[32];
    if (size < 32 || !PreadAll(fd_, base, 32, 0)) Fail("Poškozená hlavička", "Damaged header");
    version_ = base[0];
    if (version_ == 0x30 || version_ == 0x31 || version_ == 0x32)
        level_ = DbfLevel::VisualFoxPro;
    else if ((version_ & 7) == 4)
        level_ = DbfLevel::Dbase7;
    else if ((version_ & 7) == 2 || (version_ & 7) == 3 || (version_ & 7) == 5)
        level_ = DbfLevel::Dbase3;
    else
        Fail("Nepodporovaná verze tabulky", "Unsupported table version", VersionText(version_));
    headerCount_ = LE32(base + 4);
    headerLen_ = LE16(base + 8);
    recLen_ = LE16(base + 10);
    codePage_ = base[29];
    textCp_ = CodePageOfMark(codePage_);
    const std::uint32_t start = level_ == DbfLevel::Dbase7 ? 68 : 32;
    if (headerLen_ < start + 1 || headerLen_ > size || recLen_ < 2) Fail("Poškozená hlavička", "Damaged header");
    header_.resize(headerLen_);
    if (!PreadAll(fd_, header_.data(), headerLen_, 0)) Fail("Poškozená hlavička", "Damaged header");
}

// The field descriptors after the fixed header, up to the terminator: the
// fields in their order, and where a Visual FoxPro table keeps its null flags.
void DbfTable::ReadFieldDescriptors() {
    const std::uint32_t start = level_ == DbfLevel::Dbase7 ? 68 : 32;
    const std::uint32_t dsize = level_ == DbfLevel::Dbase7 ? 48 : 32;
    std::uint32_t pos = start;
    std::uint32_t offset = 1;
    int nullBits = 0;
    while (pos < headerLen_ && header_[pos] != 0x0D) {
        if (pos + dsize > headerLen_) Fail("Neúplný popis polí", "Truncated field descriptors");
        const std::uint8_t* d = header_.data() + pos;
        DbfField f;
        const std::size_t nameLen = level_ == DbfLevel::Dbase7 ? 32 : 11;
        std::size_t l = 0;
        while (l < nameLen && d[l] != 0) ++l;
        f.Name = DecodeText(textCp_, std::string_view(reinterpret_cast<const char*>(d), l));
        const std::size_t t = level_ == DbfLevel::Dbase7 ? 32 : 11;
        f.Type = static_cast<char>(d[t]);
        f.Length = d[t + (level_ == DbfLevel::Dbase7 ? 1 : 5)];
        f.Decimals = d[t + (level_ == DbfLevel::Dbase7 ? 2 : 6)];
        if (f.Type == 'C' && level_ != DbfLevel::Dbase7) {
            // Text fields above 255 characters keep the high byte in the decimals.
            f.Length |= static_cast<std::uint32_t>(f.Decimals) << 8;
            f.Decimals = 0;
        }
        f.Offset = offset;
        if (f.Type == '0' && level_ == DbfLevel::VisualFoxPro) {
            if (f.Length < 1 || f.Length > 32 || nullFlagsOffset_ >= 0)
                Fail("Poškozený popis polí", "Damaged field descriptor");
            nullFlagsOffset_ = static_cast<int>(offset);
            nullFlagsLength_ = static_cast<int>(f.Length);
        } else {
            if (!FieldValid(f.Type, f.Length, level_))
                Fail("Nepodporovaný typ pole", "Unsupported field type",
                     f.Name + " '" + std::string(1, f.Type) + "' (" + std::to_string(f.Length) + ")");
            f.Kind = KindOf(f.Type, f.Length, f.Decimals);
            if (level_ == DbfLevel::VisualFoxPro && f.Type == 'V') f.VarBit = nullBits++;
            if (level_ == DbfLevel::VisualFoxPro && (d[18] & 0x02)) f.NullBit = nullBits++;
            fields_.push_back(f);
        }
        offset += f.Length;
        if (offset > recLen_) Fail("Pole přesahují délku záznamu", "Fields exceed the record length");
        pos += dsize;
        if (fields_.size() > 1024) Fail("Příliš mnoho polí", "Too many fields");
    }
    if (fields_.empty()) Fail("Tabulka nemá pole", "The table has no fields");
    if (nullBits > nullFlagsLength_ * 8) {
        // Nullable fields without a flags field to hold their bits: read them as plain.
        for (auto& f : fields_) f.NullBit = f.VarBit = -1;
    }
}

// How many records the file holds, whatever its header says, and whether
// anything follows them.
void DbfTable::CountRecords(std::int64_t size) {
    const std::int64_t available = (size - headerLen_) / recLen_;
    std::int64_t n = headerCount_;
    if (headerCount_ > available) {
        // The file was cut short: every complete record is readable, the
        // table stays read-only until it is repaired.
        n = available;
        missing_ = headerCount_ - available;
        writable_ = false;
    } else if (n < available) {
        n = CountRecordsAfterStaleCount(available);
    }
    fileCount_ = physCount_ = n;
    const std::int64_t end = headerLen_ + n * static_cast<std::int64_t>(recLen_);
    std::uint8_t tail = kEof;
    const bool hasTail = size > end && PreadAll(fd_, &tail, 1, end);
    // Anything after the records but the end mark is cut off at the first
    // write; opening alone never changes the file.
    tornTail_ = size > end + (hasTail && tail == kEof ? 1 : 0);
    recovered_ = n != headerCount_ || tornTail_;
}

// Complete records after a stale count are recovered; they begin with a
// deleted flag, while the end-of-file mark or anything else ends them.
std::int64_t DbfTable::CountRecordsAfterStaleCount(std::int64_t available) {
    std::int64_t n = headerCount_;
    std::vector<std::uint8_t> buf(std::max<std::size_t>(kWindowBytes / recLen_, 1) * recLen_);
    const std::int64_t per = static_cast<std::int64_t>(buf.size() / recLen_);
    bool stop = false;
    while (!stop && n < available) {
        const std::int64_t k = std::min(per, available - n);
        if (!PreadAll(fd_, buf.data(), static_cast<std::size_t>(k) * recLen_,
                      headerLen_ + n * static_cast<std::int64_t>(recLen_)))
            break;
        for (std::int64_t j = 0; j < k; ++j) {
            const std::uint8_t flag = buf[static_cast<std::size_t>(j) * recLen_];
            if (flag != ' ' && flag != '*') {
                stop = true;
                break;
            }
            ++n;
        }
    }
    return n;
}

void DbfTable::Open(const std::string& path, bool exclusive) {
    Close();
    const std::int64_t size = OpenFile(path, exclusive);
    try {
        ReadHeader(size);
        ReadFieldDescriptors();
        OpenMemo();
        CountRecords(size);
        winCap_ = std::max<std::int64_t>(1, static_cast<std::int64_t>(kWindowBytes / recLen_));
        pendingCap_ = std::max<std::size_t>(1, kPendingBytes / recLen_) * recLen_;
        pending_.reserve(pendingCap_);
        edit_.assign(recLen_, ' ');
        First();
    } catch (...) {
        ::close(fd_);
        if (memoFd_ >= 0) ::close(memoFd_);
        Reset();
        throw;
    }
}

void DbfTable::OpenMemo() {
    if (std::none_of(fields_.begin(), fields_.end(),
                     [](const DbfField& f) { return f.Type == 'M' || f.Type == 'G' || f.Type == 'P'; }))
        return;
    // FoxPro tables keep memos in ".fpt", dBASE tables in ".dbt"; the other
    // kind is tried too, and the extension in both cases.
    memoFox_ = level_ == DbfLevel::VisualFoxPro || (version_ & 0xF0) == 0xF0;
    const std::size_t dot = path_.find_last_of("./");
    const std::string base = dot != std::string::npos && path_[dot] == '.' ? path_.substr(0, dot) : path_;
    const bool upper = dot != std::string::npos && path_[dot] == '.' && dot + 1 < path_.size() &&
                       path_[dot + 1] >= 'A' && path_[dot + 1] <= 'Z';
    for (int k = 0; k < 4 && memoFd_ < 0; ++k) {
        const bool fox = (k < 2) == memoFox_;
        std::string ext = fox ? ".fpt" : ".dbt";
        if (upper != (k % 2 == 1))
            for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const ReadableFile memo = OpenRegularFile(base + ext);
        // A memo file that is there but is no regular file (a named pipe, a
        // device) is refused, not waited on.
        if (memo.Result == ReadOpen::NotRegular) throw EADM(NotRegularFileMessage(base + ext));
        memoFd_ = memo.Fd;
        if (memoFd_ >= 0) memoFox_ = fox;
    }
    std::uint8_t h[32];
    struct stat st {};
    if (memoFd_ < 0 || ::fstat(memoFd_, &st) != 0 || !PreadAll(memoFd_, h, sizeof h, 0)) {
        if (memoFd_ >= 0) ::close(memoFd_);
        memoFd_ = -1;
        memoMissing_ = true;
        return;
    }
    memoSize_ = st.st_size;
    if (memoFox_) {
        memoBlock_ = static_cast<std::uint32_t>(h[6] << 8 | h[7]);
    } else {
        // dBASE IV keeps the block size in its header, dBASE III always uses 512.
        memoBlock_ = LE16(h + 20);
        if (memoBlock_ == 0 || version_ == 0x83) memoBlock_ = 512;
    }
    if (memoBlock_ == 0) memoBlock_ = 64;
}

std::string DbfTable::ReadMemo(const DbfField& f, const std::uint8_t* p) const {
    if (memoFd_ < 0) return {};
    std::uint64_t block = 0;
    if (f.Length == 4) {
        block = LE32(p);
    } else {
        for (std::uint32_t k = 0; k < f.Length; ++k)
            if (p[k] >= '0' && p[k] <= '9') block = block * 10 + (p[k] - '0');
    }
    const auto off = static_cast<std::int64_t>(block * memoBlock_);
    if (block == 0 || off >= memoSize_) return {};
    // Memos are cut at 16 MB and at the end of the file.
    const std::int64_t cap = std::min<std::int64_t>(memoSize_ - off, 16 << 20);
    std::uint8_t h[8];
    std::int64_t start = off, len = 0;
    const bool haveHead = cap >= 8 && PreadAll(memoFd_, h, 8, off);
    if (memoFox_) {
        if (!haveHead) return {};
        len = static_cast<std::int64_t>(h[4]) << 24 | h[5] << 16 | h[6] << 8 | h[7];
        start = off + 8;
    } else if (haveHead && h[0] == 0xFF && h[1] == 0xFF && h[2] == 0x08 && h[3] == 0x00) {
        len = static_cast<std::int64_t>(LE32(h + 4)) - 8;
        start = off + 8;
    } else {
        len = -1;  // dBASE III: up to the end mark
    }
    std::string out;
    if (len >= 0) {
        len = std::min<std::int64_t>(len, memoSize_ - start);
        if (len <= 0) return {};
        len = std::min<std::int64_t>(len, 16 << 20);
        out.resize(static_cast<std::size_t>(len));
        if (!PreadAll(memoFd_, reinterpret_cast<std::uint8_t*>(out.data()), out.size(), start)) return {};
    } else {
        std::uint8_t buf[512];
        for (std::int64_t at = start; at < off + cap;) {
            const auto n = static_cast<std::size_t>(std::min<std::int64_t>(sizeof buf, off + cap - at));
            if (!PreadAll(memoFd_, buf, n, at)) break;
            const auto* end = static_cast<const std::uint8_t*>(std::memchr(buf, kEof, n));
            out.append(reinterpret_cast<const char*>(buf), end ? static_cast<std::size_t>(end - buf) : n);
            if (end) break;
            at += static_cast<std::int64_t>(n);
        }
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == 0)) out.pop_back();
    return out;
}

void DbfTable::Close() {
    if (fd_ < 0) return;
    std::exception_ptr err;
    try {
        if (writable_) Flush();
    } catch (...) {
        err = std::current_exception();
    }
    ::close(fd_);
    if (memoFd_ >= 0) ::close(memoFd_);
    Reset();
    if (err) std::rethrow_exception(err);
}

// ---- record access ---------------------------------------------------------

const std::uint8_t* DbfTable::Rec(std::int64_t i) const {
    if (i >= winFirst_ && i < winFirst_ + winCount_)
        return win_.data() + static_cast<std::size_t>(i - winFirst_) * recLen_;
    if (i >= fileCount_) return pending_.data() + static_cast<std::size_t>(i - fileCount_) * recLen_;
    return LoadWindow(i);
}

const std::uint8_t* DbfTable::LoadWindow(std::int64_t i) const {
    FlushDirty();
    std::int64_t start = i;
    if (i < winFirst_) start = std::max<std::int64_t>(0, i - winCap_ + 1);
    const std::int64_t n = std::min(winCap_, fileCount_ - start);
    win_.resize(static_cast<std::size_t>(n) * recLen_);
    winCount_ = 0;
    if (!PreadAll(fd_, win_.data(), win_.size(), headerLen_ + start * static_cast<std::int64_t>(recLen_)))
        FailIo("Chyba čtení tabulky", "Error reading the table");
    winFirst_ = start;
    winCount_ = n;
    return win_.data() + static_cast<std::size_t>(i - winFirst_) * recLen_;
}

std::uint8_t* DbfTable::MutableRec(std::int64_t i) {
    if (i >= fileCount_) return pending_.data() + static_cast<std::size_t>(i - fileCount_) * recLen_;
    const std::uint8_t* p = Rec(i);
    if (dirtyLo_ < 0) {
        dirtyLo_ = i;
        dirtyHi_ = i + 1;
    } else {
        dirtyLo_ = std::min(dirtyLo_, i);
        dirtyHi_ = std::max(dirtyHi_, i + 1);
    }
    return const_cast<std::uint8_t*>(p);
}

void DbfTable::FlushDirty() const {
    if (dirtyLo_ < 0) return;
    const std::int64_t lo = dirtyLo_, hi = dirtyHi_;
    dirtyLo_ = dirtyHi_ = -1;
    modified_ = true;
    if (!PwriteAll(fd_, win_.data() + static_cast<std::size_t>(lo - winFirst_) * recLen_,
                   static_cast<std::size_t>(hi - lo) * recLen_, headerLen_ + lo * static_cast<std::int64_t>(recLen_)))
        FailIo("Chyba zápisu tabulky", "Error writing the table");
}

const std::uint8_t* DbfTable::CurRec() const {
    if (state_ != State::Browse) return edit_.data();
    if (cur_ < 0 || cur_ >= physCount_) return nullptr;
    return Rec(cur_);
}

void DbfTable::NeedWritable() const {
    if (fd_ < 0) Fail("Tabulka není otevřena", "The table is not open");
    if (missing_ > 0)
        throw EADM(Tr("Tabulka " + path_ + " je poškozená (chybí " + std::to_string(missing_) +
                          " záznamů na konci souboru) a je otevřena jen pro čtení; nejprve ji opravte",
                      "The table " + path_ + " is damaged (" + std::to_string(missing_) +
                          " records are missing at the end of the file) and is open read-only; repair it first"));
    if (linked_) Fail("Tabulka je jen pro čtení", "The table is read-only", path_ + ": " + FileErrorText(ELOOP));
    if (!writable_) Fail("Tabulka je jen pro čtení", "The table is read-only", path_);
}

std::uint8_t* DbfTable::EditRec() {
    NeedWritable();
    if (state_ == State::Browse) {
        if (cur_ < 0 || cur_ >= physCount_) Fail("Žádný aktuální záznam", "No current record");
        std::memcpy(edit_.data(), Rec(cur_), recLen_);
        state_ = State::Edit;
    }
    return edit_.data();
}

const DbfField& DbfTable::F(int i) const {
    if (i < 0 || i >= static_cast<int>(fields_.size())) Fail("Pole neexistuje", "No such field", std::to_string(i));
    return fields_[static_cast<std::size_t>(i)];
}

const DbfField& DbfTable::Field(int i) const { return F(i); }
std::string DbfTable::FieldName(int i) const { return F(i).Name; }
FieldType DbfTable::GetFieldType(int i) const { return F(i).Kind; }

bool DbfTable::FieldNull(const DbfField& f, const std::uint8_t* r) const {
    if (f.NullBit >= 0) {
        const std::uint8_t b = r[nullFlagsOffset_ + f.NullBit / 8];
        if (b & (1u << (f.NullBit % 8))) return true;
    }
    const std::uint8_t* p = r + f.Offset;
    double v = 0;
    bool bl = false;
    switch (f.Type) {
        case 'T': return !DecodeFoxDateTime(p, v);
        case '@': return !DecodeDb7Timestamp(p, v);
        case 'O': return !DecodeDb7Double(p, v);
        case 'B': return !DecodeFoxDouble(p, v);
        case 'N': case 'F': return !DecodeNumeric(p, f.Length, v);
        case 'D': return !DecodeDate(p, v);
        case 'L': return !DecodeLogical(p[0], bl);
        case 'C': case 'V':
            for (std::uint32_t k = 0; k < f.Length; ++k)
                if (p[k] != ' ' && p[k] != 0) return false;
            return true;
        case 'M': case 'G': case 'P':
            for (std::uint32_t k = 0; k < f.Length; ++k)
                if (p[k] != ' ' && p[k] != 0 && p[k] != '0') return false;
            return true;
        default: return false;
    }
}

bool DbfTable::IsNull(int i) const {
    const DbfField& f = F(i);
    const std::uint8_t* r = CurRec();
    return !r || FieldNull(f, r);
}

double DbfTable::ReadNumber(const DbfField& f, const std::uint8_t* r) const {
    if (f.NullBit >= 0 && (r[nullFlagsOffset_ + f.NullBit / 8] & (1u << (f.NullBit % 8)))) return 0;
    const std::uint8_t* p = r + f.Offset;
    double v = 0;
    bool b = false;
    switch (f.Type) {
        case 'B': return DecodeFoxDouble(p, v) ? v : 0;
        case 'T': return DecodeFoxDateTime(p, v) ? v : 0;
        case 'O': return DecodeDb7Double(p, v) ? v : 0;
        case '@': return DecodeDb7Timestamp(p, v) ? v : 0;
        case 'N': case 'F': return DecodeNumeric(p, f.Length, v) ? v : 0;
        case 'I': {
            if (level_ == DbfLevel::Dbase7) return DecodeDb7Long(p);
            return static_cast<std::int32_t>(LE32(p));
        }
        case '+': return DecodeDb7Long(p);
        case 'Y': return DecodeCurrency(p);
        case 'D': return DecodeDate(p, v) ? v : 0;
        case 'L': return DecodeLogical(p[0], b) && b ? 1 : 0;
        case 'C': {
            if (DecodeNumeric(p, std::min<std::uint32_t>(f.Length, 60), v)) return v;
            return 0;
        }
        default: return 0;
    }
}

double DbfTable::AsFloat(int i) const {
    const DbfField& f = F(i);
    const std::uint8_t* r = CurRec();
    return r ? ReadNumber(f, r) : 0;
}

double DbfTable::AsDateTime(int i) const {
    const DbfField& f = F(i);
    const std::uint8_t* r = CurRec();
    if (!r) return 0;
    if (f.Type == 'C') {
        double v = 0;
        return ParseDateTimeText(AsText(i), v) ? v : 0;
    }
    return ReadNumber(f, r);
}

std::string DbfTable::AsText(int i) const {
    const DbfField& f = F(i);
    const std::uint8_t* r = CurRec();
    if (!r || FieldNull(f, r)) return {};
    const std::uint8_t* p = r + f.Offset;
    switch (f.Type) {
        case 'C': {
            std::uint32_t e = f.Length;
            while (e > 0 && (p[e - 1] == ' ' || p[e - 1] == 0)) --e;
            return DecodeText(textCp_, std::string_view(reinterpret_cast<const char*>(p), e));
        }
        case 'V': {
            std::uint32_t e = f.Length;
            if (f.VarBit >= 0 && (r[nullFlagsOffset_ + f.VarBit / 8] & (1u << (f.VarBit % 8))))
                e = std::min<std::uint32_t>(p[f.Length - 1], f.Length - 1);
            return DecodeText(textCp_, std::string_view(reinterpret_cast<const char*>(p), e));
        }
        case 'M': return DecodeText(textCp_, ReadMemo(f, p));
        case 'G': case 'P': return {};
        case 'T': case '@': return kolvex::FormatIsoDateTime(ReadNumber(f, r), true);
        case 'D': return kolvex::FormatIsoDateTime(ReadNumber(f, r), true).substr(0, 10);
        case 'L': return p[0] == 'T' || p[0] == 't' || p[0] == 'Y' || p[0] == 'y' ? "T" : "F";
        case 'N': case 'F': {
            std::uint32_t b = 0, e = f.Length;
            while (b < e && p[b] == ' ') ++b;
            while (e > b && p[e - 1] == ' ') --e;
            return std::string(reinterpret_cast<const char*>(p + b), e - b);
        }
        case 'I': case '+': return std::to_string(static_cast<std::int64_t>(ReadNumber(f, r)));
        default: return ShortestText(ReadNumber(f, r));
    }
}

void DbfTable::SetNullBit(const DbfField& f, std::uint8_t* r, bool null) {
    if (f.NullBit < 0) return;
    std::uint8_t& b = r[nullFlagsOffset_ + f.NullBit / 8];
    const auto bit = static_cast<std::uint8_t>(1u << (f.NullBit % 8));
    b = null ? static_cast<std::uint8_t>(b | bit) : static_cast<std::uint8_t>(b & ~bit);
}

void DbfTable::WriteEmpty(const DbfField& f, std::uint8_t* r) {
    std::uint8_t* p = r + f.Offset;
    switch (f.Type) {
        case 'B': EncodeFoxDoubleNull(p); break;
        case 'T': case '@': case 'O': case 'I': case 'Y': std::memset(p, 0, f.Length); break;
        case 'M': case 'G': case 'P': std::memset(p, f.Length == 4 ? 0 : ' ', f.Length); break;
        case '+': EncodeDb7Long(0, p); break;
        default: std::memset(p, ' ', f.Length); break;
    }
}

void DbfTable::SetNull(int i) {
    const DbfField& f = F(i);
    std::uint8_t* r = EditRec();
    WriteEmpty(f, r);
    SetNullBit(f, r, true);
}

void DbfTable::SetFloat(int i, double value) {
    const DbfField& f = F(i);
    std::uint8_t* r = EditRec();
    std::uint8_t* p = r + f.Offset;
    switch (f.Type) {
        case 'B':
            if (std::isnan(value)) return SetNull(i);
            EncodeFoxDouble(value, p);
            break;
        case 'O':
            if (std::isnan(value)) return SetNull(i);
            EncodeDb7Double(value, p);
            break;
        case 'T': case '@': case 'D': return SetDateTime(i, value);
        case 'N': case 'F':
            if (!EncodeNumeric(value, static_cast<int>(f.Length), f.Decimals, p))
                Fail("Hodnota se do pole nevejde", "The value does not fit the field", f.Name);
            break;
        case 'I': case '+': {
            const double v = std::nearbyint(value);
            if (!(v >= -2147483648.0 && v <= 2147483647.0))
                Fail("Hodnota se do pole nevejde", "The value does not fit the field", f.Name);
            if (f.Type == '+' || level_ == DbfLevel::Dbase7)
                EncodeDb7Long(static_cast<std::int32_t>(v), p);
            else
                PutLE32(p, static_cast<std::uint32_t>(static_cast<std::int32_t>(v)));
            break;
        }
        case 'Y':
            if (!EncodeCurrency(value, p)) Fail("Hodnota se do pole nevejde", "The value does not fit the field", f.Name);
            break;
        case 'L': p[0] = value != 0 ? 'T' : 'F'; break;
        case 'C': return SetText(i, ShortestText(value));
        default: Fail("Pole nelze zapsat", "The field cannot be written", f.Name);
    }
    SetNullBit(f, r, false);
}

void DbfTable::SetDateTime(int i, double value) {
    const DbfField& f = F(i);
    std::uint8_t* r = EditRec();
    std::uint8_t* p = r + f.Offset;
    if (!std::isfinite(value)) Fail("Neplatné datum", "Invalid date", f.Name);
    switch (f.Type) {
        case 'T': EncodeFoxDateTime(value, p); break;
        case '@': EncodeDb7Timestamp(value, p); break;
        case 'D': EncodeDate(value, p); break;
        case 'C': return SetText(i, kolvex::FormatIsoDateTime(value, true));
        default: return SetFloat(i, value);
    }
    SetNullBit(f, r, false);
}

void DbfTable::SetText(int i, std::string_view utf8) {
    const DbfField& f = F(i);
    std::size_t b = 0, e = utf8.size();
    while (b < e && utf8[b] == ' ') ++b;
    while (e > b && utf8[e - 1] == ' ') --e;
    const std::string_view t = utf8.substr(b, e - b);
    if (f.Type != 'C' && t.empty()) return SetNull(i);
    switch (f.Type) {
        case 'M': case 'G': case 'P': Fail("Pole memo nelze zapsat", "Memo fields cannot be written", f.Name);
        case 'C': case 'V': {
            std::uint8_t* r = EditRec();
            const std::string cp = EncodeText(textCp_, utf8);
            const std::size_t n = std::min<std::size_t>(cp.size(), f.Length);
            std::memcpy(r + f.Offset, cp.data(), n);
            std::memset(r + f.Offset + n, ' ', f.Length - n);
            SetNullBit(f, r, false);
            return;
        }
        case 'T': case '@': case 'D': {
            double v = 0;
            if (!ParseDateTimeText(t, v)) Fail("Neplatné datum", "Invalid date", std::string(t));
            return SetDateTime(i, v);
        }
        case 'L': {
            bool v = false;
            if (!DecodeLogical(static_cast<std::uint8_t>(t[0]), v)) Fail("Neplatná hodnota", "Invalid value", std::string(t));
            return SetFloat(i, v ? 1 : 0);
        }
        default: {
            double v = 0;
            if (!DecodeNumeric(reinterpret_cast<const std::uint8_t*>(t.data()), t.size(), v))
                Fail("Neplatné číslo", "Invalid number", std::string(t));
            return SetFloat(i, v);
        }
    }
}

// ---- append / post / flush -------------------------------------------------

void DbfTable::Append() {
    NeedWritable();
    PostIfEditing();
    std::uint8_t* r = edit_.data();
    r[0] = ' ';
    for (const auto& f : fields_) {
        WriteEmpty(f, r);
        SetNullBit(f, r, true);
        if (f.Type == '+') EncodeDb7Long(static_cast<std::int32_t>(physCount_ + 1), r + f.Offset);
    }
    state_ = State::Insert;
}

void DbfTable::Post() {
    if (state_ != State::Browse) damagedKnown_ = false;
    if (state_ == State::Insert) {
        state_ = State::Browse;
        pending_.insert(pending_.end(), edit_.begin(), edit_.end());
        cur_ = physCount_++;
        if (liveValid_) live_.push_back(static_cast<std::uint32_t>(cur_));
        eof_ = bof_ = false;
        if (pending_.size() >= pendingCap_) Flush();
    } else if (state_ == State::Edit) {
        state_ = State::Browse;
        std::uint8_t* r = MutableRec(cur_);
        std::memcpy(r + 1, edit_.data() + 1, recLen_ - 1);  // the deleted flag stays
    }
}

void DbfTable::PostIfEditing() {
    if (state_ != State::Browse) Post();
}

void DbfTable::WriteHeaderCount() {
    std::uint8_t h[8];
    std::memcpy(h, header_.data(), 8);
    StampDate(h);
    PutLE32(h + 4, static_cast<std::uint32_t>(fileCount_));
    if (!PwriteAll(fd_, h, 8, 0)) FailIo("Chyba zápisu tabulky", "Error writing the table");
    std::memcpy(header_.data(), h, 8);
    headerCount_ = fileCount_;
}

void DbfTable::Flush() {
    if (fd_ < 0) return;
    PostIfEditing();
    if (!writable_) return;
    if (dirtyLo_ >= 0 || !pending_.empty()) CutTornTail();
    FlushDirty();
    if (!pending_.empty()) {
        // Records first, then the end mark, then the count: a crash in between
        // leaves a count that is only stale.
        modified_ = true;
        pending_.push_back(kEof);
        const bool ok = PwriteAll(fd_, pending_.data(), pending_.size(),
                                  headerLen_ + fileCount_ * static_cast<std::int64_t>(recLen_));
        pending_.pop_back();
        if (!ok) FailIo("Chyba zápisu tabulky", "Error writing the table");
        fileCount_ += static_cast<std::int64_t>(pending_.size() / recLen_);
        pending_.clear();
    }
    if (modified_ && headerCount_ != fileCount_) WriteHeaderCount();
}

void DbfTable::CutTornTail() {
    if (!tornTail_) return;
    const std::int64_t end = headerLen_ + fileCount_ * static_cast<std::int64_t>(recLen_);
    if (::ftruncate(fd_, static_cast<off_t>(end)) != 0 || !PwriteAll(fd_, &kEof, 1, end))
        FailIo("Chyba zápisu tabulky", "Error writing the table");
    tornTail_ = false;
    modified_ = true;
}

// ---- navigation --------------------------------------------------------------

std::int64_t DbfTable::NextLive(std::int64_t from) const {
    for (std::int64_t j = std::max<std::int64_t>(from, 0); j < physCount_; ++j)
        if (Rec(j)[0] != '*') return j;
    return -1;
}

std::int64_t DbfTable::PriorLive(std::int64_t from) const {
    for (std::int64_t j = std::min(from, physCount_ - 1); j >= 0; --j)
        if (Rec(j)[0] != '*') return j;
    return -1;
}

void DbfTable::First() {
    PostIfEditing();
    cur_ = NextLive(0);
    bof_ = true;
    eof_ = cur_ < 0;
}

void DbfTable::Last() {
    PostIfEditing();
    cur_ = PriorLive(physCount_ - 1);
    eof_ = true;
    bof_ = cur_ < 0;
}

void DbfTable::Next() {
    PostIfEditing();
    if (cur_ < 0) {
        eof_ = true;
        return;
    }
    const std::int64_t j = NextLive(cur_ + 1);
    if (j < 0) {
        eof_ = true;
    } else {
        cur_ = j;
        eof_ = false;
    }
    bof_ = false;
}

void DbfTable::Prior() {
    PostIfEditing();
    if (cur_ < 0) {
        bof_ = true;
        return;
    }
    const std::int64_t j = PriorLive(cur_ - 1);
    if (j < 0) {
        bof_ = true;
    } else {
        cur_ = j;
        bof_ = false;
    }
    eof_ = false;
}

void DbfTable::EnsureDeletedCount() {
    if (deletedKnown_) return;
    std::int64_t d = 0;
    // The deleted flags of the records in the file through a read-only map,
    // a stretch at a time; changed records of the window reach the file first.
    std::int64_t j = 0;
    if (fileCount_ > 0) {
        FlushDirty();
        const std::size_t size = static_cast<std::size_t>(headerLen_ + fileCount_ * static_cast<std::int64_t>(recLen_));
        void* map = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd_, 0);
        if (map != MAP_FAILED) {
            (void)::madvise(map, size, MADV_SEQUENTIAL);
            const std::uint8_t* base = static_cast<const std::uint8_t*>(map) + headerLen_;
            const std::int64_t per = std::max<std::int64_t>(1, static_cast<std::int64_t>((8u << 20) / recLen_));
            std::size_t released = 0;
            const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
            for (; j < fileCount_;) {
                const std::int64_t end = std::min(fileCount_, j + per);
                for (; j < end; ++j)
                    if (base[static_cast<std::size_t>(j) * recLen_] == '*') ++d;
                const std::size_t done = static_cast<std::size_t>(headerLen_ + j * static_cast<std::int64_t>(recLen_)) & ~(page - 1);
                if (done > released) {
                    (void)::madvise(static_cast<std::uint8_t*>(map) + released, done - released, MADV_DONTNEED);
                    released = done;
                }
            }
            ::munmap(map, size);
        }
    }
    for (; j < physCount_; ++j)
        if (Rec(j)[0] == '*') ++d;
    deleted_ = d;
    deletedKnown_ = true;
}

bool DbfTable::StampDamaged(const DbfField& f, const std::uint8_t* r) const {
    if (f.NullBit >= 0 && (r[nullFlagsOffset_ + f.NullBit / 8] & (1u << (f.NullBit % 8)))) return false;
    const std::uint8_t* p = r + f.Offset;
    double v = 0;
    switch (f.Type) {
        case 'T':
            if (LE32(p) == 0 || LE32(p) == 0x20202020u) return false;  // empty
            return !DecodeFoxDateTime(p, v);
        case '@':
            return !DecodeDb7Timestamp(p, v) && std::any_of(p, p + 8, [](std::uint8_t b) { return b != 0; });
        case 'D':
            if (std::all_of(p, p + 8, [](std::uint8_t b) { return b == ' ' || b == 0 || b == '0'; })) return false;
            return !DecodeDate(p, v);
        default: return false;
    }
}

std::int64_t DbfTable::DamagedRecords() {
    if (fd_ < 0) return 0;
    PostIfEditing();
    if (damagedKnown_) return damaged_;
    std::vector<const DbfField*> stamps;
    for (const auto& f : fields_)
        if (f.Type == 'T' || f.Type == '@' || f.Type == 'D') stamps.push_back(&f);
    std::int64_t n = 0;
    for (std::int64_t j = 0; !stamps.empty() && j < physCount_; ++j) {
        const std::uint8_t* r = Rec(j);
        if (r[0] == '*') continue;
        for (const DbfField* f : stamps)
            if (StampDamaged(*f, r)) {
                ++n;
                break;
            }
    }
    damaged_ = n;
    damagedKnown_ = true;
    return n;
}

void DbfTable::EnsureLive() {
    EnsureDeletedCount();
    if (liveValid_ || deleted_ == 0) return;
    live_.clear();
    live_.reserve(static_cast<std::size_t>(physCount_ - deleted_));
    for (std::int64_t j = 0; j < physCount_; ++j)
        if (Rec(j)[0] != '*') live_.push_back(static_cast<std::uint32_t>(j));
    liveValid_ = true;
}

std::int64_t DbfTable::RecordCount() {
    if (fd_ < 0) return 0;
    EnsureDeletedCount();
    return physCount_ - deleted_;
}

std::int64_t DbfTable::RecNo() {
    if (fd_ < 0 || cur_ < 0 || state_ == State::Insert) return 0;
    EnsureLive();
    if (deleted_ == 0) return cur_ + 1;
    const auto it = std::lower_bound(live_.begin(), live_.end(), static_cast<std::uint32_t>(cur_));
    return static_cast<std::int64_t>(it - live_.begin()) + 1;
}

bool DbfTable::MoveTo(std::int64_t recno) {
    PostIfEditing();
    if (recno < 1 || recno > RecordCount()) return false;
    EnsureLive();
    cur_ = deleted_ == 0 ? recno - 1 : live_[static_cast<std::size_t>(recno - 1)];
    eof_ = bof_ = false;
    return true;
}

Bookmark DbfTable::GetBookmark() const { return Bookmark{cur_}; }

void DbfTable::GotoBookmark(const Bookmark& b) {
    PostIfEditing();
    if (b.Position < 0 || b.Position >= physCount_) Fail("Záznam nenalezen", "Record not found");
    std::int64_t j = NextLive(b.Position);
    if (j < 0) j = PriorLive(b.Position);
    cur_ = j;
    eof_ = bof_ = j < 0;
}

// ---- delete / empty / pack -------------------------------------------------

void DbfTable::Delete() {
    NeedWritable();
    if (state_ == State::Insert) {
        state_ = State::Browse;  // deleting a record not yet stored cancels it
        return;
    }
    PostIfEditing();
    if (cur_ < 0 || cur_ >= physCount_ || Rec(cur_)[0] == '*') Fail("Žádný aktuální záznam", "No current record");
    MutableRec(cur_)[0] = '*';
    if (deletedKnown_) ++deleted_;
    damagedKnown_ = false;
    liveValid_ = false;
    const std::int64_t j = NextLive(cur_ + 1);
    if (j >= 0) {
        cur_ = j;
        eof_ = false;
    } else {
        cur_ = PriorLive(cur_ - 1);
        eof_ = true;
        bof_ = cur_ < 0;
    }
}

void DbfTable::RewriteFile(bool keepRecords) {
    NeedWritable();
    Flush();
    const std::string path = path_;
    const bool exclusive = exclusive_;
    std::string tmp;
    UniqueFd outFd = CreateTemporaryBeside(path, tmp);
    if (!outFd)
        Fail("Tabulku nelze přepsat", "The table cannot be rewritten", tmp + ": " + FileErrorText(errno));
    const int out = outFd.Get();
    {
        // The rewritten table keeps the mode and owner of the one it replaces.
        struct stat st {};
        if (::fstat(fd_, &st) == 0) KeepModeAndOwner(out, st);
    }
    bool ok = true;
    std::int64_t written = 0;
    try {
        std::vector<std::uint8_t> h = header_;
        ok = PwriteAll(out, h.data(), h.size(), 0);
        std::int64_t outPos = headerLen_;
        if (keepRecords && ok) {
            // Large sequential blocks in, live records out.
            const std::int64_t per = std::max<std::int64_t>(1, static_cast<std::int64_t>((4u << 20) / recLen_));
            std::vector<std::uint8_t> in(static_cast<std::size_t>(per) * recLen_);
            std::vector<std::uint8_t> buf;
            buf.reserve(in.size());
            for (std::int64_t j = 0; ok && j < fileCount_; j += per) {
                const std::int64_t k = std::min(per, fileCount_ - j);
                ok = PreadAll(fd_, in.data(), static_cast<std::size_t>(k) * recLen_,
                              headerLen_ + j * static_cast<std::int64_t>(recLen_));
                buf.clear();
                for (std::int64_t r = 0; ok && r < k; ++r) {
                    const std::uint8_t* p = in.data() + static_cast<std::size_t>(r) * recLen_;
                    if (p[0] != '*') buf.insert(buf.end(), p, p + recLen_);
                }
                if (ok && !buf.empty()) {
                    ok = PwriteAll(out, buf.data(), buf.size(), outPos);
                    outPos += static_cast<std::int64_t>(buf.size());
                    written += static_cast<std::int64_t>(buf.size() / recLen_);
                }
            }
        }
        if (ok) ok = PwriteAll(out, &kEof, 1, outPos);
        StampDate(h.data());
        PutLE32(h.data() + 4, static_cast<std::uint32_t>(written));
        if (ok) ok = PwriteAll(out, h.data(), 8, 0);
        SyncFile(out);
    } catch (...) {
        ok = false;
    }
    if (!outFd.Close()) ok = false;
    if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        Fail("Tabulku nelze přepsat", "The table cannot be rewritten", path);
    }
    SyncDirectoryOf(path);
    Close();
    Open(path, exclusive);
}

void DbfTable::Empty() { RewriteFile(false); }

void DbfTable::Pack() { RewriteFile(true); }

// ---- scan ---------------------------------------------------------------------

// Decodes one field of `n` records into the scan block's column that starts
// at `v` and `z` (values and null flags, `stride` apart): date-times and
// doubles directly, other numbers as the field reader does.
void DbfTable::DecodeColumn(const DbfField& f, const std::uint8_t* const* rows, std::size_t n, std::size_t stride,
                            double* v, std::uint8_t* z) const {
    const int nullByte = f.NullBit >= 0 ? nullFlagsOffset_ + f.NullBit / 8 : 0;
    const std::uint8_t nullMask = f.NullBit >= 0 ? static_cast<std::uint8_t>(1u << (f.NullBit % 8)) : 0;
    switch (f.Type) {
        case 'B':
            for (std::size_t r = 0; r < n; ++r, v += stride, z += stride) {
                double d;
                std::memcpy(&d, rows[r] + f.Offset, 8);
                const bool null = (rows[r][nullByte] & nullMask) || std::isnan(d);
                *z = null;
                *v = null ? 0.0 : d;
            }
            break;
        case 'T':
            for (std::size_t r = 0; r < n; ++r, v += stride, z += stride) {
                const std::uint8_t* p = rows[r] + f.Offset;
                const std::uint32_t jd = LE32(p), ms = LE32(p + 4);
                double d = 0;
                bool null = (rows[r][nullByte] & nullMask) != 0;
                if (!null && ms < 86'400'000u && jd != 0 && jd != 0x20202020u) {
                    // The usual stamp, decoded here; anything else as the codec does it.
                    const std::int64_t day = static_cast<std::int64_t>(jd) - kJulianOf18991230;
                    const double frac = static_cast<double>(ms) / 86'400'000.0;
                    d = day < 0 ? static_cast<double>(day) - frac : static_cast<double>(day) + frac;
                    null = !IsDateTimeInRange(d);  // outside the years 1 to 9999: damage
                } else if (!null) {
                    null = !DecodeFoxDateTime(p, d);
                }
                *z = null;
                *v = null ? 0.0 : d;
            }
            break;
        default:
            for (std::size_t r = 0; r < n; ++r, v += stride, z += stride) {
                const bool null = FieldNull(f, rows[r]);
                *z = null;
                *v = null ? 0.0 : ReadNumber(f, rows[r]);
            }
            break;
    }
}

void DbfTable::Scan(const std::vector<int>& fieldIndexes, std::int64_t firstRecNo, const ScanSink& sink) {
    if (fd_ < 0) Fail("Tabulka není otevřena", "The table is not open");
    PostIfEditing();
    if (firstRecNo < 1 || firstRecNo > RecordCount()) return;
    EnsureLive();
    std::vector<const DbfField*> fields;
    for (int i : fieldIndexes) fields.push_back(&F(i));
    // Changed records of the window reach the file before it is mapped.
    FlushDirty();

    // The records in the file through a read-only map; the appended ones not
    // yet written are read from their buffer.
    const std::size_t mapped = static_cast<std::size_t>(headerLen_ + fileCount_ * static_cast<std::int64_t>(recLen_));
    const std::uint8_t* base = nullptr;
    void* map = MAP_FAILED;
    if (fileCount_ > 0) {
        map = ::mmap(nullptr, mapped, PROT_READ, MAP_SHARED, fd_, 0);
        if (map == MAP_FAILED) return TableEngine::Scan(fieldIndexes, firstRecNo, sink);
        (void)::madvise(map, mapped, MADV_SEQUENTIAL);
        base = static_cast<const std::uint8_t*>(map) + headerLen_;
    }
    struct Unmap {
        void* p;
        std::size_t n;
        ~Unmap() {
            if (p != MAP_FAILED) ::munmap(p, n);
        }
    } unmap{map, mapped};

    auto record = [&](std::int64_t j) {
        return j < fileCount_ ? base + static_cast<std::size_t>(j) * recLen_
                              : pending_.data() + static_cast<std::size_t>(j - fileCount_) * recLen_;
    };
    // Pages behind the scan leave the process's resident set as it goes on
    // (they stay in the page cache).
    constexpr std::size_t kRelease = 8u << 20;
    std::size_t released = 0;

    constexpr std::size_t kRows = 2048;
    const std::size_t nf = fields.size();
    std::vector<const std::uint8_t*> rows(kRows);
    std::vector<double> values(kRows * nf);
    std::vector<std::uint8_t> nulls(kRows * nf);
    std::int64_t phys = deleted_ == 0 ? firstRecNo - 1 : live_[static_cast<std::size_t>(firstRecNo - 1)];
    std::int64_t recno = firstRecNo;
    while (phys < physCount_) {
        std::size_t n = 0;
        for (; n < kRows && phys < physCount_; ++phys) {
            const std::uint8_t* r = record(phys);
            if (r[0] != '*') rows[n++] = r;
        }
        if (n == 0) break;
        for (std::size_t k = 0; k < nf; ++k)
            DecodeColumn(*fields[k], rows.data(), n, nf, values.data() + k, nulls.data() + k);
        const ScanBlock block{recno, n, nf, values.data(), nulls.data()};
        recno += static_cast<std::int64_t>(n);
        if (!sink(block)) break;
        if (base && phys < fileCount_) {
            const std::size_t done = static_cast<std::size_t>(headerLen_ + phys * static_cast<std::int64_t>(recLen_));
            if (done - released >= kRelease) {
                const std::size_t upTo = done & ~static_cast<std::size_t>(::sysconf(_SC_PAGESIZE) - 1);
                if (upTo > released) {
                    (void)::madvise(static_cast<std::uint8_t*>(map) + released, upTo - released, MADV_DONTNEED);
                    released = upTo;
                }
            }
        }
    }
}

// ---- repair -----------------------------------------------------------------

namespace {

[[noreturn]] void FailPath(const char* cs, const char* en, const std::string& path) {
    Fail(cs, en, path + ": " + std::strerror(errno));
}

// Copies count bytes of in from offset to out at its end.
void CopyBytes(int in, std::int64_t from, std::int64_t count, int out, std::int64_t to, const std::string& inPath,
               const std::string& outPath) {
    std::vector<std::uint8_t> buf(4u << 20);
    while (count > 0) {
        const std::size_t k = static_cast<std::size_t>(std::min<std::int64_t>(count, static_cast<std::int64_t>(buf.size())));
        if (!PreadAll(in, buf.data(), k, from)) FailPath("Chyba čtení tabulky", "Error reading the table", inPath);
        if (!PwriteAll(out, buf.data(), k, to)) FailPath("Chyba zápisu", "Error writing", outPath);
        from += static_cast<std::int64_t>(k);
        to += static_cast<std::int64_t>(k);
        count -= static_cast<std::int64_t>(k);
    }
}

}  // namespace

RepairResult DbfTable::Repair(const std::string& path, const std::string& backupPath, bool replaceBackup) {
    DbfTable t;
    t.Open(path, true);
    RepairResult r;
    r.Kept = t.physCount_;
    r.Missing = t.missing_;
    if (!t.recovered_ && t.missing_ == 0) return r;
    r.Changed = true;
    struct stat st {};
    if (::fstat(t.fd_, &st) != 0) FailPath("Chyba čtení tabulky", "Error reading the table", path);

    // The backup: the original, byte for byte, created afresh (never through
    // a link). A repair that fails removes the backup it made.
    if (replaceBackup) {
        struct stat bst {};
        if (::lstat(backupPath.c_str(), &bst) == 0 && S_ISREG(bst.st_mode)) ::unlink(backupPath.c_str());
    }
    UniqueFd bak = CreateNewFile(backupPath, st.st_mode & 0666);
    if (!bak)
        Fail("Zálohu se nepodařilo vytvořit", "The backup was not created", backupPath + ": " + FileErrorText(errno));
    KeepModeAndOwner(bak.Get(), st);
    bool backupKept = false;
    struct DropBackup {
        const std::string& path;
        bool& kept;
        ~DropBackup() {
            if (!kept) ::unlink(path.c_str());
        }
    } dropBackup{backupPath, backupKept};
    CopyBytes(t.fd_, 0, st.st_size, bak.Get(), 0, path, backupPath);
    if (::fsync(bak.Get()) != 0) FailPath("Zálohu se nepodařilo zapsat", "The backup was not written", backupPath);
    if (!bak.Close()) FailPath("Zálohu se nepodařilo zapsat", "The backup was not written", backupPath);

    // The repaired table beside it, then one rename.
    std::string tmp;
    UniqueFd out = CreateTemporaryBeside(path, tmp);
    if (!out) Fail("Tabulku nelze opravit", "The table cannot be repaired", tmp + ": " + FileErrorText(errno));
    KeepModeAndOwner(out.Get(), st);
    try {
        std::vector<std::uint8_t> h = t.header_;
        PutLE32(h.data() + 4, static_cast<std::uint32_t>(r.Kept));
        if (!PwriteAll(out.Get(), h.data(), h.size(), 0))
            FailPath("Tabulku nelze opravit", "The table cannot be repaired", tmp);
        const std::int64_t bytes = r.Kept * static_cast<std::int64_t>(t.recLen_);
        CopyBytes(t.fd_, t.headerLen_, bytes, out.Get(), t.headerLen_, path, tmp);
        if (!PwriteAll(out.Get(), &kEof, 1, t.headerLen_ + bytes) || ::fsync(out.Get()) != 0)
            FailPath("Tabulku nelze opravit", "The table cannot be repaired", tmp);
    } catch (...) {
        out.Reset();
        ::unlink(tmp.c_str());
        throw;
    }
    t.Close();
    if (!out.Close() || ::rename(tmp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        FailPath("Tabulku nelze opravit", "The table cannot be repaired", path);
    }
    backupKept = true;
    SyncDirectoryOf(path);
    return r;
}

}  // namespace kolvex::dbf
