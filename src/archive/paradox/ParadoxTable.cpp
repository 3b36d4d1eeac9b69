// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/paradox/ParadoxTable.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <memory>
#include <mutex>

extern "C" {
#include <paradox.h>
}

#include "base/Errors.h"
#include "base/Language.h"
#include "archive/FileOps.h"
#include "base/SafeFile.h"
#include "archive/dbf/DbfCodec.h"
#include "base/Cp1250.h"

namespace kolvex::paradox {

namespace {

[[noreturn]] void Fail(const char* cs, const char* en, const std::string& detail = {}) {
    std::string m = Tr(cs, en);
    if (!detail.empty()) m += ": " + detail;
    throw EADM(m);
}

// pxlib reports through this handler; the messages are collected instead of
// being printed, and the calls' return values decide.
void ErrorHandler(pxdoc_t*, int, const char*, void*) {}

pxdoc_t* NewDoc() {
    static std::once_flag boot;
    std::call_once(boot, [] { PX_boot(); });
    return PX_new2(ErrorHandler, nullptr, nullptr, nullptr);
}

// One document serves the value conversions of every table.
pxdoc_t* CodecDoc() {
    static pxdoc_t* doc = NewDoc();
    return doc;
}

FieldType KindOf(int t) {
    switch (t) {
        case pxfTimestamp: return FieldType::DateTime;
        case pxfNumber: return FieldType::Float;
        case pxfCurrency: return FieldType::Currency;
        case pxfLong: case pxfShort: return FieldType::Integer;
        case pxfAutoInc: return FieldType::AutoInc;
        case pxfAlpha: return FieldType::Text;
        case pxfDate: return FieldType::Date;
        case pxfLogical: return FieldType::Logical;
        default: return FieldType::Unknown;
    }
}

bool AllZero(const std::uint8_t* p, int n) {
    for (int i = 0; i < n; ++i)
        if (p[i]) return false;
    return true;
}

// Paradox time stamps: milliseconds, 0001-01-01 being day 1. A stamp outside
// the years 1 to 9999 (a damaged field) gives false and is read as empty; it
// is checked before anything is converted to an integer.
bool TimestampToDateTime(double ms, double& value) {
    if (!(ms >= static_cast<double>(dbf::kMsPerDay) && ms < dbf::kDb7TimestampEnd)) return false;
    const double day = std::floor(ms / static_cast<double>(dbf::kMsPerDay));
    const auto rest = static_cast<std::int64_t>(std::nearbyint(ms - day * static_cast<double>(dbf::kMsPerDay)));
    const double v = dbf::JoinDateTime(static_cast<std::int64_t>(day) - dbf::kOrdinalOf18991230, rest);
    if (!IsDateTimeInRange(v)) return false;
    value = v;
    return true;
}

// Paradox dates: days, 0001-01-01 being day 1; false outside the years 1 to 9999.
bool DateToDateTime(long days, double& value) {
    if (days < 1 || days > 3652059) return false;
    value = static_cast<double>(days - dbf::kOrdinalOf18991230);
    return true;
}

double DateTimeToTimestamp(double value) {
    std::int64_t day = 0, ms = 0;
    dbf::SplitDateTime(value, day, ms);
    return static_cast<double>(day + dbf::kOrdinalOf18991230) * static_cast<double>(dbf::kMsPerDay) +
           static_cast<double>(ms);
}

std::string ShortestText(double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

}  // namespace

ParadoxTable::~ParadoxTable() {
    try {
        Close();
    } catch (...) {
    }
}

void ParadoxTable::Create(const std::string& path, const std::vector<FieldDef>& defs) {
    Close();
    if (defs.empty() || defs.size() > 255) Fail("Tabulka musí mít 1 až 255 polí", "A table needs 1 to 255 fields");
    fields_.clear();
    int offset = 0;
    for (const auto& d : defs) {
        ParadoxField f;
        f.Name = d.Name.substr(0, 25);
        switch (d.Type) {
            case FieldType::DateTime: f.PxType = pxfTimestamp, f.Length = 8; break;
            case FieldType::Float: f.PxType = pxfNumber, f.Length = 8; break;
            case FieldType::Currency: f.PxType = pxfCurrency, f.Length = 8; break;
            case FieldType::Integer: f.PxType = pxfLong, f.Length = 4; break;
            case FieldType::AutoInc: f.PxType = pxfAutoInc, f.Length = 4; break;
            case FieldType::Date: f.PxType = pxfDate, f.Length = 4; break;
            case FieldType::Logical: f.PxType = pxfLogical, f.Length = 1; break;
            case FieldType::Text: f.PxType = pxfAlpha, f.Length = d.Size > 0 ? std::min(d.Size, 255) : 20; break;
            default: Fail("Neznámý typ pole", "Unknown field type", d.Name);
        }
        f.Kind = KindOf(f.PxType);
        f.Offset = offset;
        offset += f.Length;
        fields_.push_back(f);
    }
    recSize_ = offset;
    recs_.clear();
    WriteFile(path);
    fields_.clear();
    Open(path, false);
}

void ParadoxTable::WriteFile(const std::string& path) const {
    // The new file: created afresh under an unpredictable name (never
    // through a link), with the mode and owner of the table it replaces.
    struct stat old {};
    const bool existed = ::lstat(path.c_str(), &old) == 0;
    if (existed && S_ISLNK(old.st_mode))
        Fail("Tabulku se nepodařilo zapsat", "The table was not written", path + ": " + FileErrorText(ELOOP));
    std::string tmp;
    UniqueFd fd = CreateTemporaryBeside(path, tmp);
    if (!fd) Fail("Tabulku se nepodařilo zapsat", "The table was not written", tmp + ": " + FileErrorText(errno));
    if (existed && S_ISREG(old.st_mode)) KeepModeAndOwner(fd.Get(), old);
    std::FILE* fp = ::fdopen(fd.Get(), "w+b");
    if (!fp) {
        fd.Reset();
        DeleteFileIfExists(tmp);
        Fail("Tabulku se nepodařilo zapsat", "The table was not written", path);
    }
    fd.Release();  // the stream owns it now
    pxdoc_t* doc = NewDoc();
    bool ok = doc != nullptr;
    if (ok) {
        const int n = static_cast<int>(fields_.size());
        auto* pf = static_cast<pxfield_t*>(doc->malloc(doc, sizeof(pxfield_t) * static_cast<std::size_t>(n), "fields"));
        for (int i = 0; i < n; ++i) {
            const std::string name = Utf8ToCp1250(fields_[static_cast<std::size_t>(i)].Name);
            pf[i].px_fname = static_cast<char*>(doc->malloc(doc, name.size() + 1, "name"));
            std::memcpy(pf[i].px_fname, name.c_str(), name.size() + 1);
            pf[i].px_ftype = static_cast<char>(fields_[static_cast<std::size_t>(i)].PxType);
            pf[i].px_flen = fields_[static_cast<std::size_t>(i)].Length;
            pf[i].px_fdc = 0;
        }
        ok = PX_create_fp(doc, pf, n, fp, pxfFileTypNonIndexDB) == 0;
        std::vector<char> buf(static_cast<std::size_t>(recSize_));
        for (std::size_t r = 0; ok && r < recs_.size(); ++r) {
            std::memcpy(buf.data(), recs_[r].data(), buf.size());
            ok = PX_put_record(doc, buf.data()) >= 0;
        }
        PX_close(doc);
        PX_delete(doc);
    }
    if (std::fflush(fp) != 0) ok = false;
    if (ok) SyncFile(::fileno(fp));
    if (std::fclose(fp) != 0) ok = false;
    if (!ok || !RenameFile(tmp, path)) {
        DeleteFileIfExists(tmp);
        Fail("Tabulku se nepodařilo zapsat", "The table was not written", path);
    }
    SyncDirectoryOf(path);
}

namespace {

// What the library is not given: a header whose sizes contradict each other
// or the file (such files can send it into an endless walk). Returns the
// reason, or "" when the header is sound.
std::string ParadoxHeaderProblem(int fd, std::int64_t fileSize) {
    std::uint8_t h[0x58];
    if (::pread(fd, h, sizeof h, 0) != static_cast<ssize_t>(sizeof h)) return Tr("krátká hlavička", "short header");
    auto u16 = [&](int o) { return static_cast<std::uint32_t>(h[o] | h[o + 1] << 8); };
    const std::uint32_t recordSize = u16(0x00), headerSize = u16(0x02), blockKb = h[0x05];
    const std::uint32_t records = u16(0x06) | u16(0x08) << 16;
    const std::uint32_t fileBlocks = u16(0x0C), firstBlock = u16(0x0E), lastBlock = u16(0x10);
    const std::uint32_t fields = u16(0x21);
    if (blockKb != 1 && blockKb != 2 && blockKb != 3 && blockKb != 4 && blockKb != 8 && blockKb != 16 && blockKb != 32)
        return Tr("neplatná velikost bloku", "invalid block size");
    const std::int64_t block = static_cast<std::int64_t>(blockKb) * 1024;
    if (headerSize < 0x58 || headerSize > fileSize)
        return Tr("neplatná délka hlavičky", "invalid header size");
    if (fields < 1 || fields > 255 || 0x58 + 2 * fields > headerSize) return Tr("neplatný počet polí", "invalid field count");
    if (recordSize < 1 || recordSize > block - 6) return Tr("neplatná délka záznamu", "invalid record size");
    if (headerSize + fileBlocks * block > fileSize) return Tr("bloky přesahují soubor", "blocks beyond the file");
    if (firstBlock > fileBlocks || lastBlock > fileBlocks) return Tr("neplatný odkaz na blok", "invalid block link");
    const std::int64_t perBlock = (block - 6) / recordSize;
    if (records > fileBlocks * perBlock) return Tr("počet záznamů přesahuje soubor", "the record count exceeds the file");
    // Tables from version 4 on keep the password key in the extended header
    // (the older field then holds a fixed pattern). An encrypted table is not
    // read: its blocks decode to garbage without the password.
    const bool extended = h[0x39] >= 5 && headerSize >= 0x78;
    std::uint8_t x[4] = {h[0x25], h[0x26], h[0x27], h[0x28]};
    if (extended && ::pread(fd, x, sizeof x, 0x5C) != static_cast<ssize_t>(sizeof x))
        return Tr("krátká hlavička", "short header");
    if (x[0] | x[1] | x[2] | x[3]) return Tr("tabulka je šifrovaná", "the table is encrypted");
    const std::uint32_t older = u16(0x25) | u16(0x27) << 16;
    if (older != 0 && !(extended && older == 0xFF00FF00u)) return Tr("tabulka je šifrovaná", "the table is encrypted");
    // The data blocks form a chain from the first block; a link outside the
    // file or back into the chain would be followed for ever.
    std::vector<bool> seen(fileBlocks + 1, false);
    for (std::uint32_t b = firstBlock; b != 0;) {
        if (b > fileBlocks || seen[b]) return Tr("poškozený řetěz bloků", "damaged block chain");
        seen[b] = true;
        std::uint8_t link[2];
        if (::pread(fd, link, sizeof link, headerSize + (b - 1) * block) != static_cast<ssize_t>(sizeof link))
            return Tr("bloky přesahují soubor", "blocks beyond the file");
        b = static_cast<std::uint32_t>(link[0] | link[1] << 8);
    }
    return {};
}

}  // namespace

void ParadoxTable::Open(const std::string& path, bool exclusive) {
    Close();
    // Both descriptors (the lock's and the library's) are released on every
    // path, also when an exception passes.
    UniqueFd lfd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!lfd) Fail("Tabulku se nepodařilo otevřít", "The table was not opened", path);
    struct stat st {};
    if (::fstat(lfd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0x58)
        Fail("Tabulku se nepodařilo otevřít", "The table was not opened", path);
    if (::flock(lfd.Get(), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0)
        Fail("Tabulka je používána", "The table is in use", path);
    if (const std::string problem = ParadoxHeaderProblem(lfd.Get(), st.st_size); !problem.empty())
        Fail("Poškozená hlavička tabulky Paradox", "Damaged Paradox table header", path + ": " + problem);
    struct DocDeleter {
        bool opened = false;
        void operator()(pxdoc_t* d) const {
            if (opened) PX_close(d);
            PX_delete(d);
        }
    };
    std::unique_ptr<pxdoc_t, DocDeleter> doc(NewDoc());
    // The library reads the very file checked above, not whatever the name
    // points at by now.
    const std::string checked = "/proc/self/fd/" + std::to_string(lfd.Get());
    if (!doc || PX_open_file(doc.get(), checked.c_str()) != 0)
        Fail("Tabulku se nepodařilo otevřít", "The table was not opened", path);
    doc.get_deleter().opened = true;
    std::vector<ParadoxField> fields;
    const int n = PX_get_num_fields(doc.get());
    int offset = 0;
    bool ok = n > 0;
    for (int i = 0; ok && i < n; ++i) {
        pxfield_t* pf = PX_get_field(doc.get(), i);
        if (!pf) {
            ok = false;
            break;
        }
        ParadoxField f;
        f.Name = Cp1250ToUtf8(pf->px_fname ? pf->px_fname : "");
        f.PxType = static_cast<unsigned char>(pf->px_ftype);
        f.Length = pf->px_flen;
        f.Decimals = pf->px_fdc;
        f.Kind = KindOf(f.PxType);
        f.Offset = offset;
        offset += f.Length;
        if (f.Kind == FieldType::Unknown || f.Length <= 0) ok = false;
        fields.push_back(f);
    }
    ok = ok && offset == PX_get_recordsize(doc.get());
    std::vector<std::vector<std::uint8_t>> recs;
    if (ok) {
        const int count = PX_get_num_records(doc.get());
        std::vector<char> buf(static_cast<std::size_t>(offset));
        for (int r = 0; ok && r < count; ++r) {
            if (!PX_get_record(doc.get(), r, buf.data())) {
                ok = false;
                break;
            }
            recs.emplace_back(buf.begin(), buf.end());
        }
    }
    doc.reset();
    if (!ok) Fail("Tabulku se nepodařilo otevřít", "The table was not opened", path);
    fields_ = std::move(fields);
    recs_ = std::move(recs);
    recSize_ = offset;
    edit_.assign(static_cast<std::size_t>(recSize_), 0);
    lockFd_ = lfd.Release();
    path_ = path;
    exclusive_ = exclusive;
    open_ = true;
    dirty_ = false;
    state_ = State::Browse;
    First();
}

void ParadoxTable::Close() {
    if (!open_) return;
    std::exception_ptr err;
    try {
        Flush();
    } catch (...) {
        err = std::current_exception();
    }
    ::close(lockFd_);
    lockFd_ = -1;
    open_ = false;
    fields_.clear();
    recs_.clear();
    cur_ = -1;
    eof_ = bof_ = true;
    state_ = State::Browse;
    if (err) std::rethrow_exception(err);
}

const ParadoxField& ParadoxTable::F(int i) const {
    if (i < 0 || i >= static_cast<int>(fields_.size())) Fail("Pole neexistuje", "No such field", std::to_string(i));
    return fields_[static_cast<std::size_t>(i)];
}

std::string ParadoxTable::FieldName(int i) const { return F(i).Name; }
FieldType ParadoxTable::GetFieldType(int i) const { return F(i).Kind; }

const std::uint8_t* ParadoxTable::CurRec() const {
    if (state_ != State::Browse) return edit_.data();
    if (cur_ < 0 || cur_ >= static_cast<std::int64_t>(recs_.size())) return nullptr;
    return recs_[static_cast<std::size_t>(cur_)].data();
}

std::uint8_t* ParadoxTable::EditRec() {
    if (!open_) Fail("Tabulka není otevřena", "The table is not open");
    if (state_ == State::Browse) {
        const std::uint8_t* r = CurRec();
        if (!r) Fail("Žádný aktuální záznam", "No current record");
        std::memcpy(edit_.data(), r, edit_.size());
        state_ = State::Edit;
    }
    return edit_.data();
}

bool ParadoxTable::StampValue(const ParadoxField& f, const std::uint8_t* r, double& value) {
    if (AllZero(r + f.Offset, f.Length)) return false;
    char* p = reinterpret_cast<char*>(const_cast<std::uint8_t*>(r + f.Offset));
    if (f.PxType == pxfTimestamp) {
        double ms = 0;
        return PX_get_data_double(CodecDoc(), p, f.Length, &ms) > 0 && TimestampToDateTime(ms, value);
    }
    long days = 0;
    return PX_get_data_long(CodecDoc(), p, f.Length, &days) > 0 && DateToDateTime(days, value);
}

std::int64_t ParadoxTable::DamagedRecords() {
    Post();
    std::int64_t n = 0;
    for (const auto& r : recs_) {
        for (const auto& f : fields_) {
            double v = 0;
            if ((f.PxType == pxfTimestamp || f.PxType == pxfDate) && !AllZero(r.data() + f.Offset, f.Length) &&
                !StampValue(f, r.data(), v)) {
                ++n;
                break;
            }
        }
    }
    return n;
}

bool ParadoxTable::IsNull(int i) const {
    const ParadoxField& f = F(i);
    const std::uint8_t* r = CurRec();
    if (!r || AllZero(r + f.Offset, f.Length)) return true;
    // A damaged date or time stamp is empty.
    double v = 0;
    return (f.PxType == pxfTimestamp || f.PxType == pxfDate) && !StampValue(f, r, v);
}

double ParadoxTable::AsFloat(int i) const {
    const ParadoxField& f = F(i);
    const std::uint8_t* r = CurRec();
    if (!r || AllZero(r + f.Offset, f.Length)) return 0;
    char* p = reinterpret_cast<char*>(const_cast<std::uint8_t*>(r + f.Offset));
    pxdoc_t* doc = CodecDoc();
    switch (f.PxType) {
        case pxfNumber: case pxfCurrency: {
            double v = 0;
            return PX_get_data_double(doc, p, f.Length, &v) > 0 ? v : 0;
        }
        case pxfTimestamp: case pxfDate: {
            double v = 0;
            return StampValue(f, r, v) ? v : 0;
        }
        case pxfLong: case pxfAutoInc: {
            long v = 0;
            if (PX_get_data_long(doc, p, f.Length, &v) <= 0) return 0;
            return static_cast<double>(v);
        }
        case pxfShort: {
            short v = 0;
            return PX_get_data_short(doc, p, f.Length, &v) > 0 ? v : 0;
        }
        case pxfLogical: return (r[f.Offset] & 0x7F) ? 1 : 0;
        case pxfAlpha: {
            double v = 0;
            const std::string t = AsText(i);
            return dbf::DecodeNumeric(reinterpret_cast<const std::uint8_t*>(t.data()), t.size(), v) ? v : 0;
        }
        default: return 0;
    }
}

double ParadoxTable::AsDateTime(int i) const {
    const ParadoxField& f = F(i);
    if (f.PxType == pxfAlpha) {
        double v = 0;
        return dbf::ParseDateTimeText(AsText(i), v) ? v : 0;
    }
    return AsFloat(i);
}

std::string ParadoxTable::AsText(int i) const {
    const ParadoxField& f = F(i);
    const std::uint8_t* r = CurRec();
    if (!r || AllZero(r + f.Offset, f.Length)) return {};
    switch (f.PxType) {
        case pxfAlpha: {
            int e = 0;
            while (e < f.Length && r[f.Offset + e]) ++e;
            while (e > 0 && r[f.Offset + e - 1] == ' ') --e;
            return Cp1250ToUtf8(std::string(reinterpret_cast<const char*>(r + f.Offset), static_cast<std::size_t>(e)));
        }
        case pxfTimestamp: case pxfDate: {
            double v = 0;
            if (!StampValue(f, r, v)) return {};
            const std::string t = kolvex::FormatIsoDateTime(v, true);
            return f.PxType == pxfDate ? t.substr(0, 10) : t;
        }
        case pxfLogical: return AsFloat(i) != 0 ? "T" : "F";
        case pxfLong: case pxfShort: case pxfAutoInc: return std::to_string(static_cast<long long>(AsFloat(i)));
        default: return ShortestText(AsFloat(i));
    }
}

void ParadoxTable::SetNull(int i) {
    const ParadoxField& f = F(i);
    std::memset(EditRec() + f.Offset, 0, static_cast<std::size_t>(f.Length));
}

void ParadoxTable::SetFloat(int i, double value) {
    const ParadoxField& f = F(i);
    if (std::isnan(value)) return SetNull(i);
    char* p = reinterpret_cast<char*>(EditRec() + f.Offset);
    pxdoc_t* doc = CodecDoc();
    switch (f.PxType) {
        case pxfNumber: case pxfCurrency: PX_put_data_double(doc, p, f.Length, value); break;
        case pxfTimestamp: case pxfDate: return SetDateTime(i, value);
        case pxfLong: case pxfAutoInc: case pxfShort: {
            const double v = std::nearbyint(value);
            const double lim = f.PxType == pxfShort ? 32767.0 : 2147483647.0;
            if (!(v >= -lim && v <= lim)) Fail("Hodnota se do pole nevejde", "The value does not fit the field", f.Name);
            if (f.PxType == pxfShort)
                PX_put_data_short(doc, p, f.Length, static_cast<short>(v));
            else
                PX_put_data_long(doc, p, f.Length, static_cast<int>(v));
            break;
        }
        case pxfLogical: p[0] = static_cast<char>(value != 0 ? 0x81 : 0x80); break;
        case pxfAlpha: return SetText(i, ShortestText(value));
        default: Fail("Pole nelze zapsat", "The field cannot be written", f.Name);
    }
}

void ParadoxTable::SetDateTime(int i, double value) {
    const ParadoxField& f = F(i);
    if (!std::isfinite(value)) Fail("Neplatné datum", "Invalid date", f.Name);
    char* p = reinterpret_cast<char*>(EditRec() + f.Offset);
    switch (f.PxType) {
        case pxfTimestamp: PX_put_data_double(CodecDoc(), p, f.Length, DateTimeToTimestamp(value)); break;
        case pxfDate: {
            std::int64_t day = 0, ms = 0;
            dbf::SplitDateTime(value, day, ms);
            PX_put_data_long(CodecDoc(), p, f.Length, static_cast<int>(day + dbf::kOrdinalOf18991230));
            break;
        }
        case pxfAlpha: return SetText(i, kolvex::FormatIsoDateTime(value, true));
        default: return SetFloat(i, value);
    }
}

void ParadoxTable::SetText(int i, std::string_view utf8) {
    const ParadoxField& f = F(i);
    if (f.PxType == pxfAlpha) {
        std::uint8_t* r = EditRec();
        const std::string cp = Utf8ToCp1250(utf8);
        const std::size_t n = std::min<std::size_t>(cp.size(), static_cast<std::size_t>(f.Length));
        std::memset(r + f.Offset, 0, static_cast<std::size_t>(f.Length));
        std::memcpy(r + f.Offset, cp.data(), n);
        return;
    }
    std::size_t b = 0, e = utf8.size();
    while (b < e && utf8[b] == ' ') ++b;
    while (e > b && utf8[e - 1] == ' ') --e;
    const std::string_view t = utf8.substr(b, e - b);
    if (t.empty()) return SetNull(i);
    double v = 0;
    if (f.PxType == pxfTimestamp || f.PxType == pxfDate) {
        if (!dbf::ParseDateTimeText(t, v)) Fail("Neplatné datum", "Invalid date", std::string(t));
        return SetDateTime(i, v);
    }
    if (f.PxType == pxfLogical) return SetFloat(i, (t[0] == 'T' || t[0] == 't' || t[0] == 'Y' || t[0] == 'y') ? 1 : 0);
    if (!dbf::DecodeNumeric(reinterpret_cast<const std::uint8_t*>(t.data()), t.size(), v))
        Fail("Neplatné číslo", "Invalid number", std::string(t));
    SetFloat(i, v);
}

void ParadoxTable::Append() {
    if (!open_) Fail("Tabulka není otevřena", "The table is not open");
    Post();
    std::fill(edit_.begin(), edit_.end(), 0);
    for (const auto& f : fields_)
        if (f.PxType == pxfAutoInc)
            PX_put_data_long(CodecDoc(), reinterpret_cast<char*>(edit_.data() + f.Offset), f.Length,
                             static_cast<int>(recs_.size() + 1));
    state_ = State::Insert;
}

void ParadoxTable::Post() {
    if (state_ == State::Insert) {
        recs_.push_back(edit_);
        cur_ = static_cast<std::int64_t>(recs_.size()) - 1;
        eof_ = bof_ = false;
        dirty_ = true;
    } else if (state_ == State::Edit) {
        recs_[static_cast<std::size_t>(cur_)] = edit_;
        dirty_ = true;
    }
    state_ = State::Browse;
}

void ParadoxTable::Flush() {
    if (!open_) return;
    Post();
    if (!dirty_) return;
    WriteFile(path_);
    dirty_ = false;
    // The lock follows the file that now bears the name.
    const int lfd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (lfd >= 0) {
        (void)::flock(lfd, (exclusive_ ? LOCK_EX : LOCK_SH) | LOCK_NB);
        ::close(lockFd_);
        lockFd_ = lfd;
    }
}

void ParadoxTable::First() {
    Post();
    cur_ = recs_.empty() ? -1 : 0;
    bof_ = true;
    eof_ = recs_.empty();
}

void ParadoxTable::Last() {
    Post();
    cur_ = static_cast<std::int64_t>(recs_.size()) - 1;
    eof_ = true;
    bof_ = recs_.empty();
}

void ParadoxTable::Next() {
    Post();
    if (cur_ + 1 >= static_cast<std::int64_t>(recs_.size())) {
        eof_ = true;
    } else {
        ++cur_;
        eof_ = false;
    }
    bof_ = false;
}

void ParadoxTable::Prior() {
    Post();
    if (cur_ <= 0) {
        bof_ = true;
    } else {
        --cur_;
        bof_ = false;
    }
    eof_ = false;
}

std::int64_t ParadoxTable::RecNo() { return state_ == State::Insert || cur_ < 0 ? 0 : cur_ + 1; }

bool ParadoxTable::MoveTo(std::int64_t recno) {
    Post();
    if (recno < 1 || recno > static_cast<std::int64_t>(recs_.size())) return false;
    cur_ = recno - 1;
    eof_ = bof_ = false;
    return true;
}

void ParadoxTable::GotoBookmark(const Bookmark& b) {
    Post();
    if (b.Position < 0 || recs_.empty()) Fail("Záznam nenalezen", "Record not found");
    cur_ = std::min<std::int64_t>(b.Position, static_cast<std::int64_t>(recs_.size()) - 1);
    eof_ = bof_ = false;
}

void ParadoxTable::Delete() {
    if (!open_) Fail("Tabulka není otevřena", "The table is not open");
    if (state_ == State::Insert) {
        state_ = State::Browse;
        return;
    }
    Post();
    if (cur_ < 0 || cur_ >= static_cast<std::int64_t>(recs_.size())) Fail("Žádný aktuální záznam", "No current record");
    recs_.erase(recs_.begin() + cur_);
    dirty_ = true;
    if (cur_ >= static_cast<std::int64_t>(recs_.size())) {
        cur_ = static_cast<std::int64_t>(recs_.size()) - 1;
        eof_ = true;
        bof_ = cur_ < 0;
    }
}

void ParadoxTable::Empty() {
    Post();
    recs_.clear();
    dirty_ = true;
    Flush();
    First();
}

void ParadoxTable::Pack() {
    // Deleted records are already gone from memory; rewriting the file
    // compacts its data blocks.
    Post();
    dirty_ = true;
    Flush();
    First();
}

}  // namespace kolvex::paradox
