// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/Adm.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cstring>

#include "base/AuditTrail.h"
#include "base/DateTime.h"
#include "base/Errors.h"
#include "base/Language.h"
#include "archive/FileOps.h"
#include "archive/TableLock.h"
#include "base/SafeFile.h"
#include "archive/dbf/DbfTable.h"

namespace kolvex {

namespace {
const char* const kCrLf = "\r\n";

bool PathExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}
}  // namespace

TADM::TADM(Answerer* answerer) : answerer_(answerer) { Table1.AddListener(this); }

TADM::~TADM() {
    Table1.RemoveListener(this);
    try {
        TableTmp.Close();
        Table1.Close();
    } catch (...) {
    }
}

void TADM::TableChanged(TableEvent event) {
    if (event == TableEvent::Scrolled) Table1AfterScroll();
}

void TADM::Table1AfterScroll() {
    if (RecordCounterHook && !Table1.ControlsDisabled()) RecordCounterHook();
}

std::vector<FieldDef> TADM::FieldsOf(const ArchiveParameterRecord& record) {
    const std::int32_t n = record.FieldCount();
    if (n < 1 || n > kMaxDescriptors)
        throw EADM(Tr("Neplatný počet polí", "Invalid field count"));
    std::vector<FieldDef> fields;
    for (int i = 0; i < n; ++i) {
        const FieldDescriptor d = record.Descriptor(i);
        FieldDef f;
        f.Name = d.Name;
        if (d.Type == kFieldTypeDateTime)
            f.Type = FieldType::DateTime;
        else if (d.Type == kFieldTypeFloat)
            f.Type = FieldType::Float;
        else
            throw EADM(Tr("Neznámý typ pole", "Unknown field type"));
        fields.push_back(f);
    }
    return fields;
}

bool TADM::OpenArchive(const std::string& path) {
    if (!FileExists(path))
        throw EADM(Tr("Soubor  " + path + kCrLf + "neexistuje.", "The file  " + path + kCrLf + "does not exist."));
    CloseArchive();
    try {
        Table1.SetPath(path);
        Table1.Open();
    } catch (const std::exception& e) {
        try {
            Table1.Close();
        } catch (...) {
        }
        // The reason follows on its own line.
        throw EADM(Tr("Soubor  " + path + kCrLf + "se nepodařilo otevřít.",
                      "The file  " + path + kCrLf + "was not opened.") + kCrLf + e.what());
    }
    if (Table1.FieldCount() >= 4) {
        if (!ConfirmOldStructureConversion(path)) {
            CloseTable1WithoutParameters();
            return false;
        }
    }
    ReadParameterFile(path);
    ApplyFieldLayout();
    return true;
}

bool TADM::ConfirmOldStructureConversion(const std::string& path) {
    const std::string q = Tr("Databáze má starou strukturu.\r\nPřevést na novou?",
                             "The database has old structure.\r\nConvert into new structure?");
    if (!answerer_ || !answerer_->Confirm(q)) return false;
    if (!converter_) return false;
    const bool result = converter_->Convert(*this, path);
    if (result) Table1.Open();
    return result;
}

std::int64_t RepairTableFile(const std::string& path, const std::string& backupPath, bool replaceBackup) {
    if (IsParadoxPath(path))
        throw EADM(Tr("Tabulky Paradox se neopravují: ", "Paradox tables are not repaired: ") + path);
    const TableLocks lock = LockTable(path);
    const dbf::RepairResult r = dbf::DbfTable::Repair(path, backupPath, replaceBackup);
    if (!r.Changed) return -1;
    AuditEvent e;
    e.Action = audit::Repair;
    e.Object = TableObject(path);
    e.Details = {{"records_kept", r.Kept}, {"backup", AbsolutePath(backupPath)}};
    e.Tables = {path};
    WriteAudit(e);
    return r.Kept;
}

void TADM::CloseTable1WithoutParameters() {
    try {
        Table1.Close();
    } catch (...) {
        // The records were flushed as far as possible; the table is closed.
    }
}

void TADM::CreateArchive(const std::string& path, const ArchiveParameterRecord& record) {
    const std::string name = ExtractFileName(path);
    const TableLocks lock = LockTable(path);
    try {
        if (FileExists(path)) {
            const std::string q = Tr("Soubor  " + path + "  existuje" + kCrLf + "Přepsat?",
                                     "The file  " + path + "  exists" + kCrLf + "Owerwrite?");
            if (!answerer_ || !answerer_->Confirm(q)) return;
        }
        CloseArchive();
        ParameterRecord = record;
        const std::vector<FieldDef> fields = FieldsOf(record);
        Table1.SetPath(path);
        Table1.Create(fields);
        WriteParameterFile(path);
        ApplyFieldLayout();
    } catch (const std::exception& e) {
        throw EADM(Tr("Soubor " + name + " se nepodařilo vytvořit.", "The file " + name + " was not created.") + kCrLf +
                   e.what());
    }
}

void TADM::OpenOrCreateArchive(const std::string& path, const ArchiveParameterRecord& record) {
    if (FileExists(path))
        OpenArchive(path);
    else
        CreateArchive(path, record);
}

void TADM::CloseArchive() {
    if (!Table1.IsOpen()) return;
    // The records reach the disk first; then the parameters; then the table closes.
    Table1.Flush();
    if (ParametersChanged()) WriteParameterFile(Table1.Path());
    parametersBuilt_ = false;
    Table1.Close();
}

ArchiveParameterRecord RecordFromTable(const Table& table) {
    ArchiveParameterRecord r;
    const int n = table.IsOpen() ? table.FieldCount() : 0;
    int values = 0;
    for (int i = 0; i < n && i < kMaxDescriptors; ++i) {
        FieldDescriptor d;
        const FieldType t = table.GetFieldType(i);
        d.Name = table.FieldName(i).substr(0, 10);
        d.Label = table.FieldName(i).substr(0, 16);
        if (t == FieldType::DateTime || t == FieldType::Date) {
            d.Type = kFieldTypeDateTime;
            d.Unit = "dd/mm/yyyy  hh:nn:ss";
        } else {
            d.Type = kFieldTypeFloat;
            d.Decimals = 2;  // the table does not say; enough for most readings
            ++values;
        }
        r.SetDescriptor(i, d);
    }
    AxisSettings left, right;
    left.Source = n > 1 ? 1 : 0;
    left.Automatic = 1;
    left.Colour = 0x0000FF;
    left.Marker = 1;
    right = left;
    right.Source = n > 2 ? 2 : left.Source;
    right.Colour = 0x008000;
    r.SetLeftAxis(left);
    r.SetRightAxis(right);
    r.SetPanelWidth(150 + 65 * values);
    r.SetFieldCount(n);
    r.NormaliseForWriting();
    return r;
}

bool TADM::ParametersChanged() const {
    if (!parametersBuilt_) return true;
    // The grid panel's width alone is no setting worth a file.
    ArchiveParameterRecord now = ParameterRecord;
    now.SetPanelWidth(builtRecord_.PanelWidth());
    return !(now == builtRecord_);
}

void TADM::ReadParameterFile(const std::string& tablePath) {
    const std::string par = ReplaceExtension(tablePath, ".par");
    parametersBuilt_ = false;
    if (!PathExists(par)) {
        // A table without its parameter file (another program's, or copied
        // alone): labels from its field names, no units, automatic axes. The
        // record reaches a file only when the user changes it.
        ParameterRecord = RecordFromTable(Table1);
        builtRecord_ = ParameterRecord;
        parametersBuilt_ = true;
        return;
    }
    const auto data = ReadFileHead(par, kParameterRecordSize);
    if (!data)
        throw EADM(Tr("soubor  " + par + " se nepodařilo otevřít.", "The file  " + par + " was not opened."));
    std::memcpy(ParameterRecord.Bytes.data(), data->data(), data->size());
    ValidateParameterRecord();
}

void TADM::WriteParameterFile(const std::string& tablePath) {
    parametersBuilt_ = false;
    ParameterRecord.NormaliseForWriting();
    const std::string par = ReplaceExtension(tablePath, ".par");
    const TableLocks lock = LockTable(tablePath);
    if (!WriteFileAtomic(par, ParameterRecord.Bytes.data(), ParameterRecord.Bytes.size()))
        throw EADM(Tr("Soubor  " + par + " se nepodařilo vytvořit.", "The file  " + par + " was not created.") + kCrLf +
                   FileErrorText(errno));
}

void TADM::ValidateParameterRecord() {
    ArchiveParameterRecord& r = ParameterRecord;
    if (Table1.IsOpen()) {
        const int n = Table1.FieldCount();
        if (r.FieldCount() != n) r.SetFieldCount(n);
        if (n >= 2) {
            const std::string name1 = Table1.FieldName(1);
            if (name1 != r.Descriptor(1).Name && name1 == r.Descriptor(2).Name) {
                // A record written for three fields on a table without input 1.
                std::memmove(r.Bytes.data() + 0x018 + 68, r.Bytes.data() + 0x018 + 2 * 68, 68);
                std::memmove(r.Bytes.data() + 0x178, r.Bytes.data() + 0x1A0, 40);
            }
        }
    }
    // A wrong check sum is tolerated: the record is used as read.
    if (r.PanelWidth() < 100 || r.PanelWidth() > 500) r.SetPanelWidth(200);
}

void TADM::ApplyFieldLayout() {
    if (!Table1.IsOpen()) return;
    const int n = std::min<int>(ParameterRecord.FieldCount(), Table1.FieldCount());
    for (int i = 0; i < n && i < kMaxDescriptors; ++i) {
        const FieldDescriptor d = ParameterRecord.Descriptor(i);
        FieldLayout& l = Table1.Layout(i);
        l.Label = d.Label;
        if (d.Type == kFieldTypeFloat) {
            l.DisplayFormat = d.Unit;
            l.Precision = d.Decimals;
        }
    }
}

void TADM::CreateTempTable(const std::string& path, const ArchiveParameterRecord& record) {
    TableTmp.Close();
    bool reserved = false;
    try {
        CloseArchive();
        // The name is taken exclusively: a file that already bears it is never replaced.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) throw EADM(path + ": " + FileErrorText(errno));
        ::close(fd);
        reserved = true;
        TableTmp.SetPath(path);
        TableTmp.Create(FieldsOf(record));
    } catch (const std::exception& e) {
        if (reserved) {
            try {
                TableTmp.Close();
            } catch (...) {
            }
            DeleteFileIfExists(path);
            TableTmp.SetPath("");
        }
        throw EADM(Tr("Tmp soubor se nepodařilo vytvořit", "The file Tmp was not created") + "\r\n" + e.what());
    }
}

void TADM::DropTempTable() {
    TableTmp.Close();
    if (!TableTmp.Path().empty()) DeleteFileIfExists(TableTmp.Path());
    TableTmp.SetPath("");
}

void TADM::RepairDamagedTable1() {
    const std::int64_t missing = Table1.MissingRecords();
    if (missing <= 0) return;
    const std::string path = Table1.Path();
    const std::string backup = ReplaceExtension(path, ".dbfbak");
    const std::string n = std::to_string(missing);
    const std::string q =
        Tr("Tabulka  " + path + "  je poškozená: na konci souboru chybí " + n +
               " záznamů.\r\nOpravit ji (zkrátit na úplné záznamy, originál se uloží jako " + backup + ")?",
           "The table  " + path + "  is damaged: " + n + " records are missing at the end of the file." +
               "\r\nRepair it (keep the complete records, the original is saved as " + backup + ")?");
    if (!answerer_ || !answerer_->Confirm(q))
        throw EADM(Tr("Tabulka  " + path + "  je poškozená (chybí " + n + " záznamů) a nebyla opravena; nic do ní nebylo přidáno",
                      "The table  " + path + "  is damaged (" + n +
                          " records are missing) and was not repaired; nothing was added to it"));
    RepairTable1();
}

void TADM::RepairTable1() {
    const std::string path = Table1.Path();
    const std::string backup = ReplaceExtension(path, ".dbfbak");
    bool replace = false;
    if (FileExists(backup)) {
        const std::string q2 = Tr("Soubor  " + backup + "  existuje" + kCrLf + "Přepsat?",
                                  "The file  " + backup + "  exists" + kCrLf + "Owerwrite?");
        if (!answerer_->Confirm(q2))
            throw EADM(Tr("Tabulka  " + path + "  nebyla opravena: záloha " + backup + " už existuje",
                          "The table  " + path + "  was not repaired: the backup " + backup + " exists already"));
        replace = true;
    }
    CloseArchive();
    RepairTableFile(path, backup, replace);
    OpenArchive(path);
}

void TADM::PackTable() {
    const TableLocks lock = LockTable(Table1.Path());
    const bool wasOpen = Table1.IsOpen();
    const bool wasExclusive = Table1.Exclusive();
    auto restore = [&] {
        try {
            Table1.Close();
        } catch (...) {
        }
        Table1.SetExclusive(wasExclusive);
        if (wasOpen) {
            Table1.Open();
            ApplyFieldLayout();
        }
    };
    try {
        Table1.Close();
        Table1.SetExclusive(true);
        try {
            Table1.Open();
        } catch (const EADM&) {
            // Not open: reported below.
        }
        if (!Table1.IsOpen()) throw EADbfErase(Tr("Chyba Pack - Active", "Error Pack - Active"));
        if (!Table1.IsExclusive()) throw EADbfErase(Tr("Chyba Pack - Exclusive", "Error Pack - Exclusive"));
        const std::string type = Table1.TableType().substr(0, 32);
        if (type == "DBASE" || type == "PARADOX") {
            Table1.Pack();
        } else {
            throw EADbfErase(Tr("Databáze není typu dBase ani Paradox,\r\nzáznamy nebudou z databáze fyzicky odstraněny",
                                "The database is not either dBase or Paradox,\r\nthe records are not erased."));
        }
    } catch (...) {
        try {
            restore();
        } catch (...) {
        }
        throw;
    }
    restore();
}

void TADM::DeleteArchiveFiles() {
    const std::string path = Table1.Path();
    const TableLocks lock = path.empty() ? TableLocks() : LockTable(path);
    CloseArchive();
    if (path.empty()) return;
    DeleteFileIfExists(path);
    DeleteFileIfExists(ReplaceExtension(path, ".par"));
    AuditEvent e;
    e.Action = audit::TableDeletion;
    e.Object = TableObject(path);
    e.Details = {{"parameter_file", AbsolutePath(ReplaceExtension(path, ".par"))}};
    e.DeletedTables = {path};
    WriteAudit(e);
}

std::int32_t TADM::DeleteRecordsInPeriod(double start, double end, const std::function<void(int)>& progress) {
    std::int32_t deleted = 0;
    // The whole deletion and pack holds the table's lock; the table is read
    // afresh under it, so records another run appended meanwhile are kept.
    const TableLocks lock = LockTable(Table1.Path());
    if (Table1.IsOpen()) {
        Table1.Open();
        ApplyFieldLayout();
    }
    Table1.DisableControls();
    try {
        Table1.First();
        const std::int64_t n = Table1.RecordCount();
        std::int64_t visited = 0;
        while (!Table1.Eof()) {
            const double t = Table1.AsDateTime(0);
            if (start <= t && t <= end) {
                Table1.Delete();
                ++deleted;
            } else {
                Table1.Next();
            }
            ++visited;
            if (progress && n > 0) progress(static_cast<int>(visited * 100 / n));
        }
        PackTable();
    } catch (...) {
        Table1.EnableControls();
        throw;
    }
    Table1.EnableControls();
    ApplyFieldLayout();
    AuditEvent e;
    e.Action = audit::RecordDeletion;
    e.Object = TableObject(Table1.Path());
    e.Details = {{"from", FormatIsoDateTime(start, true)}, {"to", FormatIsoDateTime(end, true)}, {"deleted", deleted},
                 {"records_left", Table1.RecordCount()}};
    e.Tables = {Table1.Path()};
    WriteAudit(e);
    return deleted;
}

}  // namespace kolvex
