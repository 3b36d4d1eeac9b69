// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/Download.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dirent.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <random>
#include <unordered_map>

#include "base/Errors.h"
#include "base/Language.h"
#include "archive/Adm.h"
#include "base/AuditTrail.h"
#include "archive/FileOps.h"
#include "archive/ParameterFile.h"
#include "archive/TableLock.h"
#include "base/SafeFile.h"
#include "logger/LoggerOps.h"
#include "base/DateTime.h"

namespace kolvex {

namespace {

const char* const kCrLf = "\r\n";

bool DirectoryExists(const std::string& dir) {
    struct stat st {};
    return !dir.empty() && ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string CurrentDirectory() {
    char buf[4096];
    if (::getcwd(buf, sizeof buf)) return buf;
    return ".";
}

std::string Serial8(std::int32_t serial) {
    char b[32];
    std::snprintf(b, sizeof b, "%8.8d", serial);
    return b;
}

// Makes a written file durable; false when it cannot be synced.
bool SyncPath(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    return fd && ::fsync(fd.Get()) == 0;
}

[[noreturn]] void StoreFailed(const std::string& path, const std::exception& e) {
    throw EADM(Tr("Záznamy se nepodařilo uložit do souboru  " + path + kCrLf + e.what(),
                  "The records were not stored in the file  " + path + kCrLf + e.what()));
}

const SplitPeriod kPeriods[4] = {SplitPeriod::Year, SplitPeriod::Month, SplitPeriod::Week, SplitPeriod::Day};

}  // namespace

StoringOptions StoringOptions::From(const ConfigRecord& c) {
    return {c.NameSource, c.SplitFlags, c.ReadMode, c.InsertBookmark != 0};
}

void StoringOptions::To(ConfigRecord& c) const {
    c.NameSource = NameSource;
    c.SplitFlags = SplitFlags;
    c.ReadMode = ReadMode;
    c.InsertBookmark = InsertBookmark ? 1 : 0;
}


std::string SafeLoggerFileName(const std::string& name) {
    std::string s;
    for (unsigned char c : name) s += (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) ? '_' : static_cast<char>(c);
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    s = s.substr(first, s.find_last_not_of(' ') - first + 1);
    if (s == "." || s == "..") return "";
    return s;
}

namespace {

// The one folder rule of every target: a folder that does not exist is created
// when the user agrees, otherwise the download ends naming it. Never a silent
// fall-back to another folder: the user chose this one.
void EnsureTargetFolder(const std::string& dir, DownloadUi* ui) {
    if (DirectoryExists(dir)) return;
    if (!ui || !ui->ConfirmCreateFolder(dir))
        throw EADM(Tr("Složka  " + dir + "  neexistuje", "The folder  " + dir + "  does not exist"));
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !DirectoryExists(dir))
        throw EADM(Tr("Složku  " + dir + "  se nepodařilo vytvořit: ", "The folder  " + dir + "  was not created: ") +
                   (ec ? ec.message() : std::string(std::strerror(ENOTDIR))));
}

}  // namespace

std::optional<std::string> TargetFileName(const ConfigRecord& config, const LoggerImage& image, DownloadUi* ui) {
    const std::string& last = config.LastArchivePath;
    std::string dir = ExtractFileDir(last);
    std::string file = ExtractFileName(last);
    std::string ext = ExtractFileExt(file);
    std::string name = ext.empty() ? file : file.substr(0, file.size() - ext.size());
    if (dir.empty()) dir = CurrentDirectory();
    EnsureTargetFolder(dir, ui);
    if (dir.back() != '/') dir += '/';
    if (name.empty()) name = "00000000";
    if (ext != ".db" && ext != ".dbf") ext = ".dbf";
    switch (config.NameSource) {
        case 0: {
            const std::string n = SafeLoggerFileName(image.Parameters.File());
            name = n.empty() ? Serial8(image.SerialNumber) : n;
            return dir + name + ext;
        }
        case 1:
            return dir + Serial8(image.SerialNumber) + ext;
        case 2: {
            if (!ui) return std::nullopt;
            std::optional<std::string> chosen = ui->ChooseTargetFile(dir + name + ext);
            // A name typed into the file dialog may point into a folder that
            // does not exist: the same question as for the stored folder.
            if (chosen) {
                std::string chosenDir = ExtractFileDir(*chosen);
                if (chosenDir.empty()) chosenDir = CurrentDirectory();
                EnsureTargetFolder(chosenDir, ui);
            }
            return chosen;
        }
        default:
            return std::nullopt;
    }
}

std::string DownloadQuestion(const std::string& basePath, std::int32_t flags, Lang lang) {
    static const char* cs[4] = {"Ukládání po rocích", "Ukládání po měsících", "Ukládání po týdnech", "Ukládání po dnech"};
    static const char* en[4] = {"Storage in years", "Storage in months", "Storage in weeks", "Storage in dayes"};
    std::string l;
    for (int i = 0; i < 4; ++i)
        if (flags & (1 << i)) l += std::string(kCrLf) + (lang == Lang::English ? en[i] : cs[i]);
    return Tr(lang, "Uložit archivovaná data do souboru\r\n", "Save data to file\r\n") + basePath + "  ?" + kCrLf + kCrLf + l;
}

std::uint64_t DownloadResult::RecordsAdded() const {
    std::uint64_t n = 0;
    for (const auto& f : Files) n += f.RecordsAdded;
    return n;
}

std::uint64_t DownloadResult::AlreadyStored() const {
    std::uint64_t n = 0;
    for (const auto& f : Files) n += f.AlreadyStored;
    return n;
}

namespace {

const char* const kTempPrefix = ".kolvex12-download-";

bool ProcessGone(long pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

// Digits only, as many as there are characters.
bool AllDigits(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::string TemporaryTableName(const std::string& dir) {
    std::random_device rd;
    char b[64];
    std::snprintf(b, sizeof b, "%s%ld-%08x", kTempPrefix, static_cast<long>(::getpid()), rd());
    return (dir.empty() || dir.back() == '/' ? dir : dir + "/") + b;
}

int CleanStaleDownloadFiles(const std::string& dir) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) return 0;
    int removed = 0;
    const std::string base = dir.empty() || dir.back() == '/' ? dir : dir + "/";
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        long pid = 0;
        if (name.rfind(kTempPrefix, 0) == 0) {
            // .kolvex12-download-PID-XXXXXXXX, possibly with .tmp~PID of its creation
            const std::string rest = name.substr(std::strlen(kTempPrefix));
            const auto dash = rest.find('-');
            if (dash == std::string::npos || !AllDigits(rest.substr(0, dash))) continue;
            const std::string tail = rest.substr(dash + 1);
            if (tail.size() < 8 || tail.find_first_not_of("0123456789abcdef") < 8) continue;
            if (tail.size() > 8 && tail.compare(8, 5, ".tmp~") != 0) continue;
            pid = std::strtol(rest.substr(0, dash).c_str(), nullptr, 10);
        } else {
            // TABLE.dbf.tmp~PID-RANDOM (also .db and .par) of an atomic write,
            // or TABLE.dbf.tmp~PID as older runs named them
            const auto mark = name.rfind(".tmp~");
            if (mark == std::string::npos) continue;
            std::string tail = name.substr(mark + 5);
            if (const auto dash = tail.find('-'); dash != std::string::npos) {
                const std::string random = tail.substr(dash + 1);
                if (random.size() != 16 || random.find_first_not_of("0123456789abcdef") != std::string::npos) continue;
                tail.resize(dash);
            }
            if (!AllDigits(tail)) continue;
            const std::string target = name.substr(0, mark);
            const std::string ext = ExtractFileExt(target);
            if (ext != ".dbf" && ext != ".db" && ext != ".par") continue;
            pid = std::strtol(tail.c_str(), nullptr, 10);
        }
        if (!ProcessGone(pid)) continue;
        struct stat st {};
        if (::lstat((base + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (::unlink((base + name).c_str()) == 0) ++removed;
    }
    ::closedir(d);
    return removed;
}

namespace {

// Copies the current record of TableTmp into a new record of Table1.
void CopyRecord(TADM& adm) {
    adm.Table1.Append();
    for (int i = 0; i < adm.TableTmp.FieldCount(); ++i) adm.Table1.AssignField(i, adm.TableTmp, i);
    adm.Table1.Post();
}

// The identity of a record for the overlap check: its time stamp to the
// millisecond and the exact values of its fields (empty ones marked).
struct RecordKey {
    std::int64_t Ms = 0;
    std::uint64_t Bits[2] = {0, 0};
    std::uint8_t Nulls = 0;
    bool operator==(const RecordKey& o) const {
        return Ms == o.Ms && Bits[0] == o.Bits[0] && Bits[1] == o.Bits[1] && Nulls == o.Nulls;
    }
};

struct RecordKeyHash {
    std::size_t operator()(const RecordKey& k) const {
        std::uint64_t h = static_cast<std::uint64_t>(k.Ms) * 0x9E3779B97F4A7C15ULL;
        h ^= (k.Bits[0] + 0x632BE59BD9B4E019ULL + (h << 6) + (h >> 2));
        h ^= (k.Bits[1] + 0x85EBCA77C2B2AE63ULL + (h << 6) + (h >> 2));
        return static_cast<std::size_t>(h ^ k.Nulls);
    }
};

std::int64_t Millis(double t) { return std::llround(t * 86400000.0); }

void SetValue(RecordKey& key, int slot, bool null, double v) {
    if (slot >= 2) return;
    if (null) {
        key.Nulls |= static_cast<std::uint8_t>(1u << slot);
        return;
    }
    if (v == 0) v = 0;  // -0 and +0 are the same reading
    std::memcpy(&key.Bits[slot], &v, sizeof v);
}

RecordKey KeyOf(const Table& t, int fields) {
    RecordKey key;
    key.Ms = Millis(t.AsDateTime(0));
    for (int i = 1; i < fields; ++i) SetValue(key, i - 1, t.IsNull(i), t.IsNull(i) ? 0.0 : t.AsFloat(i));
    return key;
}

// The new records going into one target, and how many of each the target
// holds already anywhere in it. Memory grows with the download, not with the
// table: the table is only scanned. Each stored copy covers one new record,
// so real repeats of a reading beyond what the table holds are kept.
class Overlap {
public:
    void AddNew(const RecordKey& key) {
        ++fresh_[key];
        minMs_ = std::min(minMs_, key.Ms);
        maxMs_ = std::max(maxMs_, key.Ms);
    }
    void Load(Table& target, int fields) {
        if (fresh_.empty() || target.RecordCount() == 0) return;
        std::vector<int> cols(static_cast<std::size_t>(fields));
        for (int i = 0; i < fields; ++i) cols[static_cast<std::size_t>(i)] = i;
        target.Scan(cols, 1, [&](const ScanBlock& b) {
            for (std::size_t r = 0; r < b.Rows; ++r) {
                const double* v = b.Values + r * b.Fields;
                const std::uint8_t* z = b.Nulls + r * b.Fields;
                if (z[0]) continue;
                RecordKey key;
                key.Ms = Millis(v[0]);
                if (key.Ms < minMs_ || key.Ms > maxMs_) continue;
                for (std::size_t k = 1; k < b.Fields; ++k) SetValue(key, static_cast<int>(k) - 1, z[k] != 0, v[k]);
                const auto it = fresh_.find(key);
                if (it == fresh_.end()) continue;
                int& held = stored_[key];
                if (held < it->second) ++held;
            }
            return true;
        });
    }
    bool Take(const RecordKey& key) {
        if (stored_.empty()) return false;
        const auto it = stored_.find(key);
        if (it == stored_.end()) return false;
        if (--it->second == 0) stored_.erase(it);
        return true;
    }

private:
    std::unordered_map<RecordKey, int, RecordKeyHash> fresh_, stored_;
    std::int64_t minMs_ = INT64_MAX, maxMs_ = INT64_MIN;
};

// The calendar key of a record's target for a split period.
std::int64_t PeriodKey(SplitPeriod period, double t) {
    const DateTimeParts p = DecodeDateTime(t);
    switch (period) {
        case SplitPeriod::Year: return p.Year;
        case SplitPeriod::Month: return p.Year * 100 + p.Month;
        case SplitPeriod::Week: return p.Year * 100 + WeekOfYear(t);
        case SplitPeriod::Day: return (p.Year * 100 + p.Month) * 100 + p.Day;
    }
    return 0;
}

// Walks the temporary table once per chosen split period (once in all for a
// chosen file), telling `enter` the target path whenever it changes and
// `record` each record in turn.
template <class Enter, class Record>
void WalkTargets(Table& tmp, const std::string& base, const StoringOptions& opt, Enter enter, Record record) {
    if (opt.NameSource == 2) {
        enter(base);
        for (tmp.First(); !tmp.Eof(); tmp.Next()) record();
        return;
    }
    for (int k = 0; k < 4; ++k) {
        if (!(opt.SplitFlags & (1 << k))) continue;
        const SplitPeriod period = kPeriods[k];
        std::int64_t last = -1;
        for (tmp.First(); !tmp.Eof(); tmp.Next()) {
            const double t = tmp.AsDateTime(0);
            const std::int64_t key = PeriodKey(period, t);
            if (key != last) {
                enter(PeriodFilePath(base, period, t));
                last = key;
            }
            record();
        }
    }
}

// The new records of every target, for the overlap with what it holds.
std::map<std::string, Overlap> NewRecordsByTarget(Table& tmp, const std::string& base, const StoringOptions& opt) {
    const int fields = tmp.FieldCount();
    std::map<std::string, Overlap> overlaps;
    Overlap* o = nullptr;
    WalkTargets(tmp, base, opt, [&](const std::string& path) { o = &overlaps[path]; },
                [&] { o->AddNew(KeyOf(tmp, fields)); });
    return overlaps;
}

TableLocks LockTargets(const std::map<std::string, Overlap>& overlaps) {
    std::vector<std::string> paths;
    for (const auto& [path, o] : overlaps) paths.push_back(path);
    return TableLocks(paths);
}

// Opens (or creates) a target as the shown table, at its last record; a
// failure names the file.
void OpenTarget(TADM& adm, const std::string& path, const ArchiveParameterRecord& record, bool existed) {
    try {
        // A target is written only when its names are the files themselves.
        for (const std::string& name : {path, ReplaceExtension(path, ".par")})
            if (IsSymbolicLink(name)) throw EADM(name + ": " + FileErrorText(ELOOP));
        adm.OpenOrCreateArchive(path, record);
        if (!adm.Table1.IsOpen()) throw EADM(Tr("Tabulka není otevřena", "The table is not open"));
        if (existed) {
            adm.RepairDamagedTable1();
            // A table left without its parameter file by a killed run gets the download's.
            if (!FileExists(ReplaceExtension(path, ".par"))) {
                adm.ParameterRecord = record;
                adm.ValidateParameterRecord();
                adm.ApplyFieldLayout();
            }
        }
        adm.Table1.Last();
    } catch (const std::exception& e) {
        StoreFailed(path, e);
    }
}

// Copies the temporary records into their targets, each record a target
// holds already counted instead of stored again.
class TargetCopier {
public:
    TargetCopier(TADM& adm, const ArchiveParameterRecord& record, std::map<std::string, Overlap>& overlaps,
                 DownloadResult& result)
        : adm_(adm), tmp_(adm.TableTmp), fields_(tmp_.FieldCount()), record_(record), overlaps_(overlaps),
          result_(result) {}

    // Makes `path` the target of the records that follow.
    void Enter(const std::string& path) {
        const bool existed = FileExists(path);
        OpenTarget(adm_, path, record_, existed);
        auto it = overlaps_.try_emplace(path).first;
        if (existed && !loaded_[path]) {
            loaded_[path] = true;
            try {
                it->second.Load(adm_.Table1, fields_);
            } catch (const std::exception& e) {
                StoreFailed(path, e);
            }
        }
        file_ = &FileEntry(path);
        overlap_ = &it->second;
    }

    // Stores the current temporary record in the target unless it holds it
    // already; a failure names the file.
    void Copy() {
        try {
            if (overlap_->Take(KeyOf(tmp_, fields_))) {
                ++file_->AlreadyStored;
                return;
            }
            CopyRecord(adm_);
        } catch (const std::exception& e) {
            StoreFailed(file_->Path, e);
        }
        ++file_->RecordsAdded;
    }

private:
    DownloadFile& FileEntry(const std::string& path) {
        for (auto& f : result_.Files)
            if (f.Path == path) return f;
        result_.Files.push_back({path, 0, 0});
        return result_.Files.back();
    }

    TADM& adm_;
    Table& tmp_;
    const int fields_;
    const ArchiveParameterRecord& record_;
    std::map<std::string, Overlap>& overlaps_;
    DownloadResult& result_;
    std::map<std::string, bool> loaded_;
    DownloadFile* file_ = nullptr;
    Overlap* overlap_ = nullptr;
};

void SplitIntoFiles(TADM& adm, const std::string& base, const ArchiveParameterRecord& record,
                    const StoringOptions& opt, DownloadResult& result, TableLocks& locks) {
    adm.Table1.DisableControls();
    struct Resume {
        Table& t;
        ~Resume() {
            try {
                t.EnableControls();
            } catch (...) {
            }
        }
    } resume{adm.Table1};

    std::map<std::string, Overlap> overlaps = NewRecordsByTarget(adm.TableTmp, base, opt);
    // Every target is ours alone from the comparison to the last byte on
    // disk: the caller keeps the locks until the files are synced.
    locks = LockTargets(overlaps);
    TargetCopier copier(adm, record, overlaps, result);
    WalkTargets(adm.TableTmp, base, opt, [&](const std::string& path) { copier.Enter(path); },
                [&] { copier.Copy(); });
}

void ReadLoggerData(LoggerOps& ops) {
    ops.ReadLoggerType();
    ops.ReadSerialNumber();
    ops.ReadParameterBlock();
    ops.ReadInputInfo();
}

// For split targets: makes sure a split period is chosen (asking for one when
// none is) and asks whether to download. False when the download does not go on.
bool SplitPeriodsConfirmed(const std::string& base, StoringOptions& opt, ConfigRecord& config, DownloadUi& ui) {
    if (opt.NameSource != 0 && opt.NameSource != 1) return true;
    if ((opt.SplitFlags & 0x0F) == 0) {
        const std::string q = "\"";
        ui.Message(Tr("Není vybrán žádný soubor pro ukládání\r\nv položce " + q + "Dělit data do souborů" + q +
                          " zaškrtněte alespoň 1 volbu",
                      "No file selected to save\r\nin item " + q + "Split data to files" + q +
                          " check at least 1 item"));
        ui.EditStoringOptions(opt);
        opt.To(config);
        if ((opt.SplitFlags & 0x0F) == 0) {
            ui.Message(Tr("Není vybrán žádný soubor", "No file selected to save"));
            return false;
        }
    }
    return ui.Confirm(DownloadQuestion(base, opt.SplitFlags, CurrentLanguage()));
}

// Drops the temporary table on the way out unless it was dropped already.
struct TempTableGuard {
    TADM& adm;
    bool armed = true;
    ~TempTableGuard() {
        if (!armed) return;
        try {
            adm.DropTempTable();
        } catch (...) {
        }
    }
};

// Appends one read sample to the temporary table; a value the table refuses
// is stored as 0.
void AppendSample(Table& tmp, int fields, const ArchiveSample& s) {
    tmp.Append();
    tmp.SetDateTime(0, s.Timestamp);
    for (int i = 1; i < fields; ++i) {
        try {
            tmp.SetFloat(i, i - 1 < 2 ? s.Values[i - 1] : -1.0);
        } catch (const std::exception&) {
            tmp.SetFloat(i, 0.0);
        }
    }
}

// Reads the planned range into the temporary table with progress, checking
// the records for summer-time steps and alarm excursions on the way.
ArchiveReadResult ReadRangeIntoTemp(LoggerOps& ops, TADM& adm, const ArchiveRange& range, std::uint32_t size,
                                    const ArchiveParameterRecord& record, DownloadUi& ui, DownloadResult& result) {
    Table& tmp = adm.TableTmp;
    const int fields = tmp.FieldCount();
    std::uint64_t count = 0;
    ArchiveReadCallbacks cb;
    SummerTimeCheck summer;
    std::vector<SummaryRecord> checked;
    cb.Sample = [&](const ArchiveSample& s) {
        summer.Add(s.Timestamp);
        checked.push_back({s.Timestamp, {s.Values[0], s.Values[1]}, {0, 0}});
        AppendSample(tmp, fields, s);
        ++count;
    };
    cb.Progress = [&](int percent) {
        ui.RecordsRead(count);
        ui.Progress(percent);
    };
    std::string lastError;
    cb.OnCommError = [&](const EComm& e) {
        lastError = e.what();
        return ui.CommError(e.what());
    };
    bool stopped = false;
    cb.Stop = [&] { return stopped = ui.StopRequested(); };
    tmp.DisableControls();
    ui.ProgressStart(Tr("Čtení archivace", "Archive reading"));
    ArchiveReadResult read;
    try {
        read = ReadArchiveRange(ops, ops.Data().Image, range.Start, range.End, size, cb);
        tmp.Flush();
    } catch (...) {
        ui.ProgressEnd();
        tmp.EnableControls();
        result.Records = count;
        throw;
    }
    ui.ProgressEnd();
    tmp.EnableControls();
    result.Records = read.Stored;
    result.SummerTime = summer.Findings();
    if (!checked.empty()) result.Check = SummariseRecords(checked, record, fields);
    result.Aborted = read.Aborted;
    if (read.Aborted && !stopped) result.AbortReason = lastError;
    result.FormatErrors = read.FormatErrors;
    return read;
}

// Everything written must be on disk before the logger forgets it.
void SyncTargets(TADM& adm, const DownloadResult& result) {
    if (adm.Table1.IsOpen()) {
        const std::string path = adm.Table1.Path();
        try {
            adm.Table1.Flush();
            adm.WriteParameterFile(path);
        } catch (const std::exception& e) {
            StoreFailed(path, e);
        }
    }
    for (const auto& f : result.Files) {
        if (!SyncPath(f.Path))
            throw EADM(Tr("Soubor  " + f.Path + "  se nepodařilo zapsat na disk: ",
                          "The file  " + f.Path + "  could not be written to the disk: ") +
                       std::strerror(errno));
    }
}

// The bookmark: the write pointer read before the range, or after an abort
// the first record that was not stored. The records are safe on disk
// already; a failure here loses nothing.
void MoveBookmark(LoggerOps& ops, const ArchiveReadResult& read, const ArchivePointers& pointers,
                  DownloadResult& result, DownloadUi& ui) {
    const std::int32_t bookmark = read.Aborted ? static_cast<std::int32_t>(read.ResumeAddress) : pointers.ArchiveWrite;
    try {
        ops.WriteArchiveReadPointer(bookmark);
        ops.Data().Pointers.ArchiveRead = bookmark;
        result.Bookmark = bookmark;
    } catch (const std::exception& e) {
        const std::string n = std::to_string(result.RecordsAdded());
        result.BookmarkError =
            Tr("Záznamy jsou uloženy (nově uložených: " + n +
                   "), ale záložku v loggeru se nepodařilo posunout:\r\n" + e.what() +
                   "\r\nLogger záznamy dál uchovává; příští čtení je neuloží podruhé.",
               "The records are stored (" + n + " new), but the logger's bookmark was not moved:\r\n" + e.what() +
                   "\r\nThe logger still holds the records; the next download will not store them twice.");
        ui.Message(result.BookmarkError);
    }
}

// The format-error information.
void ReportFormatErrors(const DownloadResult& result, DownloadUi& ui) {
    if (!result.FormatErrors) return;
    std::string text = Tr("Chyba formátu      náhrada\r\n", "Format error       replacement\r\n");
    if (result.FormatErrors & kFormatErrorDate)
        text += Tr("Datumu             1.1.2000\r\n", "Date               1.1.2000\r\n");
    if (result.FormatErrors & kFormatErrorTime)
        text += Tr("Času               00.00.00\r\n", "Time               00.00.00\r\n");
    if (result.FormatErrors & kFormatErrorValues)
        text += Tr("Hodnoty            -123.4567\r\n", "Values             -123.4567\r\n");
    ui.Information(text);
}

}  // namespace

static DownloadResult DownloadSteps(LoggerOps& ops, TADM& adm, ConfigRecord& config, DownloadUi& ui,
                                    DownloadResult* partial) {
    DownloadResult local;
    DownloadResult& result = partial ? *partial : local;
    result = DownloadResult{};
    LoggerImage& image = ops.Data().Image;

    // 1. The logger data.
    ReadLoggerData(ops);

    // 2. The target.
    const auto base = TargetFileName(config, image, &ui);
    if (!base) return result;

    // 3. Split periods and the question.
    StoringOptions opt = StoringOptions::From(config);
    if (!SplitPeriodsConfirmed(*base, opt, config, ui)) return result;
    result.Started = true;

    // 4. The parameter record of new tables, with a freshly read serial number.
    ops.ReadSerialNumber();
    const ArchiveParameterRecord record = BuildParameterRecord(image, CurrentLanguage());

    // 5. The temporary table, under a name no user file has, in the target
    // folder (this closes the table shown so far). What a killed run left
    // there goes first.
    const std::string dir = ExtractFileDir(*base);
    CleanStaleDownloadFiles(dir);
    adm.CreateTempTable(TemporaryTableName(dir), record);
    TempTableGuard drop{adm};

    // 6. The range.
    const ArchivePointers pointers = ops.ReadArchivePointers(9);
    result.BookmarkBefore = pointers.ArchiveRead;
    const std::uint32_t size = image.InputInfo.ArchiveSize;
    CheckArchiveSize(size);
    const ArchiveRange range = PlanArchiveRange(pointers, size, opt.ReadMode);
    ArchiveReadResult read;
    if (range.Read) read = ReadRangeIntoTemp(ops, adm, range, size, record, ui, result);

    // 7. The target tables, locked until everything is on disk.
    TableLocks locks;
    SplitIntoFiles(adm, *base, record, opt, result, locks);
    SyncTargets(adm, result);
    locks.Release();

    // 8. The temporary table goes.
    drop.armed = false;
    adm.DropTempTable();

    // 9. The bookmark.
    if (opt.InsertBookmark) MoveBookmark(ops, read, pointers, result, ui);
    ReportFormatErrors(result, ui);

    // 10. The table to show: the last target written, or the one open before.
    result.ShownPath = adm.Table1.Path();
    return result;
}

}  // namespace kolvex

namespace kolvex {

namespace {

void AuditDownload(const LoggerImage& image, const ConfigRecord& config, const DownloadResult& r,
                   const std::string& error, DownloadUi& ui, DownloadResult& out) {
    AuditEvent e;
    e.Action = audit::Download;
    e.Object = LoggerObject(image);
    nlohmann::json files = nlohmann::json::array();
    for (const auto& f : r.Files) {
        files.push_back({{"path", AbsolutePath(f.Path)}, {"records_added", f.RecordsAdded}, {"already_stored", f.AlreadyStored}});
        if (FileExists(f.Path)) e.Tables.push_back(f.Path);
    }
    e.Details = {{"records", r.Records},
                 {"records_added", r.RecordsAdded()},
                 {"already_stored", r.AlreadyStored()},
                 {"files", files},
                 {"mode", config.ReadMode == 1 ? "all" : "bookmark"},
                 {"aborted", r.Aborted}};
    e.Details["bookmark"] = {{"from", r.BookmarkBefore ? nlohmann::json(*r.BookmarkBefore) : nlohmann::json(nullptr)},
                             {"to", r.Bookmark ? nlohmann::json(*r.Bookmark) : nlohmann::json(nullptr)}};
    e.Details["drift"] = r.Drift ? DriftJson(*r.Drift) : nlohmann::json(nullptr);
    if (!r.SummerTime.empty()) {
        nlohmann::json st = nlohmann::json::array();
        for (const auto& f : r.SummerTime) st.push_back({{"repeated", f.Repeated}, {"at", FormatIsoDateTime(f.At)}});
        e.Details["summer_time"] = st;
    }
    if (!r.BookmarkError.empty()) e.Details["bookmark_error"] = r.BookmarkError;
    if (!error.empty()) e.Details["error"] = error;
    out.AuditError = WriteAuditReporting(e);
    if (!out.AuditError.empty()) ui.Message(out.AuditError);
}

}  // namespace

DownloadResult ReadArchive(LoggerOps& ops, TADM& adm, ConfigRecord& config, DownloadUi& ui, DownloadResult* partial) {
    DownloadResult local;
    DownloadResult& r = partial ? *partial : local;
    try {
        DownloadSteps(ops, adm, config, ui, &r);
    } catch (const std::exception& e) {
        // What was stored before the error has its entry too.
        if (r.Started) AuditDownload(ops.Data().Image, config, r, e.what(), ui, r);
        throw;
    }
    if (!r.Started) return r;
    // The logger's clock, once the records are safe: a failed read costs no record.
    try {
        r.Drift = ReadClockDrift(ops, DriftLimitSeconds());
    } catch (const std::exception& e) {
        r.DriftError = e.what();
    }
    std::string warning;
    if (r.Drift && r.Drift->Exceeded()) warning = DriftWarning(*r.Drift, CurrentLanguage());
    for (const auto& f : r.SummerTime) warning += (warning.empty() ? "" : "\r\n") + SummerTimeText(f, CurrentLanguage());
    AuditDownload(ops.Data().Image, config, r, "", ui, r);
    if (!warning.empty()) ui.Message(warning);
    return r;
}

}  // namespace kolvex
