#include "archive/Download.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <exception>

#include "app/Errors.h"
#include "app/Language.h"
#include "archive/Adm.h"
#include "archive/FileOps.h"
#include "archive/ParameterFile.h"
#include "link/LoggerOps.h"
#include "logger/DateTime.h"

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
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
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

StoringOptions StoringDefaults() { return {}; }

std::string SafeLoggerFileName(const std::string& name) {
    std::string s;
    for (unsigned char c : name) s += (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) ? '_' : static_cast<char>(c);
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    s = s.substr(first, s.find_last_not_of(' ') - first + 1);
    if (s == "." || s == "..") return "";
    return s;
}

std::optional<std::string> TargetFileName(const ConfigRecord& config, const LoggerImage& image, DownloadUi* ui) {
    const std::string& last = config.LastArchivePath;
    std::string dir = ExtractFileDir(last);
    std::string file = ExtractFileName(last);
    std::string ext = ExtractFileExt(file);
    std::string name = ext.empty() ? file : file.substr(0, file.size() - ext.size());
    if (!DirectoryExists(dir)) dir = CurrentDirectory();
    if (dir.empty() || dir.back() != '/') dir += '/';
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
        case 2:
            if (!ui) return std::nullopt;
            return ui->ChooseTargetFile(dir + name + ext);
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

namespace {

// Copies the current record of TableTmp into a new record of Table1.
void CopyRecord(TADM& adm) {
    adm.Table1.Append();
    for (int i = 0; i < adm.TableTmp.FieldCount(); ++i) adm.Table1.AssignField(i, adm.TableTmp, i);
    adm.Table1.Post();
}

void SplitIntoFiles(TADM& adm, const std::string& base, const ArchiveParameterRecord& record,
                    const StoringOptions& opt, DownloadResult& result) {
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

    auto target = [&](const std::string& path) -> DownloadFile& {
        try {
            adm.OpenOrCreateArchive(path, record);
            adm.Table1.Last();
        } catch (const std::exception& e) {
            StoreFailed(path, e);
        }
        for (auto& f : result.Files)
            if (f.Path == path) return f;
        result.Files.push_back({path, 0});
        return result.Files.back();
    };

    // Copies the current temporary record into the target; a failure names the file.
    auto copy = [&](DownloadFile& f) {
        try {
            CopyRecord(adm);
        } catch (const std::exception& e) {
            StoreFailed(f.Path, e);
        }
        ++f.RecordsAdded;
    };

    if (opt.NameSource == 2) {
        DownloadFile& f = target(base);
        for (adm.TableTmp.First(); !adm.TableTmp.Eof(); adm.TableTmp.Next()) copy(f);
        return;
    }
    for (int k = 0; k < 4; ++k) {
        if (!(opt.SplitFlags & (1 << k))) continue;
        const SplitPeriod period = kPeriods[k];
        int lastYear = -1, lastMonth = -1, lastDay = -1, lastWeek = -1;
        DownloadFile* f = nullptr;
        for (adm.TableTmp.First(); !adm.TableTmp.Eof(); adm.TableTmp.Next()) {
            const double t = adm.TableTmp.AsDateTime(0);
            const DateTimeParts p = DecodeDateTime(t);
            const int w = period == SplitPeriod::Week ? WeekOfYear(t) : -1;
            bool change = p.Year != lastYear;
            if (period == SplitPeriod::Month) change = change || p.Month != lastMonth;
            if (period == SplitPeriod::Week) change = change || w != lastWeek;
            if (period == SplitPeriod::Day) change = change || p.Month != lastMonth || p.Day != lastDay;
            if (change) {
                f = &target(PeriodFilePath(base, period, t));
                lastYear = p.Year;
                lastMonth = p.Month;
                lastDay = p.Day;
                lastWeek = w;
            }
            copy(*f);
        }
    }
}

}  // namespace

DownloadResult ReadArchive(LoggerOps& ops, TADM& adm, ConfigRecord& config, DownloadUi& ui) {
    DownloadResult result;
    LoggerImage& image = ops.Data().Image;

    // 1. The logger data.
    ops.ReadLoggerType();
    ops.ReadSerialNumber();
    ops.ReadParameterBlock();
    ops.ReadInputInfo();

    // 2. The target.
    const auto base = TargetFileName(config, image, &ui);
    if (!base) return result;

    // 3. Split periods and the question.
    StoringOptions opt = StoringOptions::From(config);
    if (opt.NameSource == 0 || opt.NameSource == 1) {
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
                return result;
            }
        }
        if (!ui.Confirm(DownloadQuestion(*base, opt.SplitFlags, CurrentLanguage()))) return result;
    }
    result.Started = true;

    // 4. The parameter record of new tables, with a freshly read serial number.
    ops.ReadSerialNumber();
    const ArchiveParameterRecord record = BuildParameterRecord(image, CurrentLanguage());

    // 5. The temporary table (this closes the table shown so far).
    adm.CreateTempTable(ReplaceExtension(*base, ""), record);
    struct DropTmp {
        TADM& adm;
        bool armed = true;
        ~DropTmp() {
            if (!armed) return;
            try {
                adm.DropTempTable();
            } catch (...) {
            }
        }
    } drop{adm};

    // 6. The range.
    const ArchivePointers pointers = ops.ReadArchivePointers(9);
    const std::uint32_t size = image.InputInfo.ArchiveSize;
    CheckArchiveSize(size);
    const ArchiveRange range = PlanArchiveRange(pointers, size, opt.ReadMode);
    ArchiveReadResult read;
    if (range.Read) {
        Table& tmp = adm.TableTmp;
        const int fields = tmp.FieldCount();
        ArchiveReadCallbacks cb;
        cb.Sample = [&](const ArchiveSample& s) {
            tmp.Append();
            tmp.SetDateTime(0, s.Timestamp);
            for (int i = 1; i < fields; ++i) {
                try {
                    tmp.SetFloat(i, i - 1 < 2 ? s.Values[i - 1] : -1.0);
                } catch (const std::exception&) {
                    tmp.SetFloat(i, 0.0);  // a refused value is stored as 0
                }
            }
        };
        cb.Progress = [&](int percent) { ui.Progress(percent); };
        cb.OnCommError = [&](const EComm& e) { return ui.CommError(e.what()); };
        tmp.DisableControls();
        ui.ProgressStart(Tr("Čtení archivace", "Archive reading"));
        try {
            read = ReadArchiveRange(ops, image, range.Start, range.End, size, cb);
            tmp.Flush();
        } catch (...) {
            ui.ProgressEnd();
            tmp.EnableControls();
            throw;
        }
        ui.ProgressEnd();
        tmp.EnableControls();
        result.Records = read.Stored;
        result.Aborted = read.Aborted;
        result.FormatErrors = read.FormatErrors;
    }

    // 7. The target tables.
    SplitIntoFiles(adm, *base, record, opt, result);

    // Everything written must be on disk before the logger forgets it.
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
            throw EADM(Tr("Soubor  " + f.Path + "  se nepodařilo zapsat na disk",
                          "The file  " + f.Path + "  could not be written to the disk"));
    }

    // 8. The temporary table goes.
    drop.armed = false;
    adm.DropTempTable();

    // 9. The bookmark: the write pointer read before the range, or after an
    // abort the first record that was not stored.
    if (opt.InsertBookmark) {
        const std::int32_t bookmark =
            read.Aborted ? static_cast<std::int32_t>(read.ResumeAddress) : pointers.ArchiveWrite;
        ops.Data().Pointers.ArchiveRead = bookmark;
        ops.WriteArchiveReadPointer(bookmark);
        result.Bookmark = bookmark;
    }

    // The format-error information.
    if (result.FormatErrors) {
        std::string text = Tr("Chyba formátu      náhrada\r\n", "Format error       replacement\r\n");
        if (result.FormatErrors & kFormatErrorDate)
            text += Tr("Datumu             1.1.2000\r\n", "Date               1.1.2000\r\n");
        if (result.FormatErrors & kFormatErrorTime)
            text += Tr("Času               00.00.00\r\n", "Time               00.00.00\r\n");
        if (result.FormatErrors & kFormatErrorValues)
            text += Tr("Hodnoty            -123.4567\r\n", "Values             -123.4567\r\n");
        ui.Information(text);
    }

    // 10. The table to show: the last target written, or the one open before.
    result.ShownPath = adm.Table1.Path();
    return result;
}

}  // namespace kolvex
