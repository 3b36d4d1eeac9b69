// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/TableLock.h"
#include "archive/OldConversion.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/AuditTrail.h"
#include "base/Errors.h"
#include "base/Language.h"
#include "archive/FileOps.h"

namespace kolvex {

namespace {

const char* const kCrLf = "\r\n";

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

std::string LowerExt(const std::string& path) {
    std::string e = ExtractFileExt(path);
    std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return e;
}

// The integer value of a mask field: rounded; anything that is not a number
// of the 32-bit range counts as -1, which can never give an accepted mask.
std::int64_t MaskValue(const Table& t) {
    if (t.IsNull(3)) return 0;
    const double v = t.AsFloat(3);
    if (!std::isfinite(v) || v < -2147483648.0 || v > 2147483647.0) return -1;
    return std::llround(v);
}

[[noreturn]] void RefuseStructure() {
    throw EADbfConvert(Tr("Databázi nelze převést", "The database was not corverted"));
}

// Where the old and the new files are while the renames run.
struct FileState {
    std::string OldTable, OldPar, NewTable, NewPar;
};

struct RenameStep {
    std::string From, To;
    std::string FileState::*Slot;
};

}  // namespace

bool HasOldStructure(const Table& table) {
    if (!table.IsOpen() || table.FieldCount() < 4) return false;
    const std::string f0 = Upper(table.FieldName(0));
    return (f0 == "DATUMCAS" || f0 == "DATETIME") && Upper(table.FieldName(1)) == "VSTUP1" &&
           Upper(table.FieldName(2)) == "VSTUP2" && Upper(table.FieldName(3)) == "MASKAA";
}

int OldTableInputMask(Table& table) {
    table.First();
    if (table.Eof()) return 7;  // an empty table: both inputs are offered
    std::int64_t m = 0;
    while (!table.Eof()) {
        m |= MaskValue(table);
        if (m == 7) break;
        // A bit above bit 2 can never give an accepted mask; the rest of the
        // records would not change that.
        if (m & ~std::int64_t{7}) return -1;
        table.Next();
    }
    return static_cast<int>(m);
}

bool IsAcceptedInputMask(int mask) { return mask == 5 || mask == 6 || mask == 7; }

LegacyParameterFile ReadLegacyParameterFile(const std::string& parPath) {
    const auto data = ReadFileHead(parPath, kLegacyParameterSize);
    if (!data)
        throw EADM(Tr("Soubor  " + parPath + " se nepodařilo otevřít.", "File  " + parPath + " was not opened."));
    std::array<std::uint8_t, kLegacyParameterSize> bytes{};
    std::memcpy(bytes.data(), data->data(), data->size());
    LegacyParameterFile f;
    f.Legacy = LegacyParameterImage::Decode(bytes.data());
    f.ChecksumOk = LegacyParameterImage::ComputeChecksum(bytes.data()) == f.Legacy.Checksum;
    return f;
}

void ApplyLegacyDefaultNames(LoggerImage& image) {
    image.Parameters.Input[0].SetName("Vstup1");
    image.Parameters.Input[1].SetName("Vstup2");
    image.Parameters.Input[0].SetUnit("");
    image.Parameters.Input[1].SetUnit("");
}

std::string LegacyChecksumMessage() {
    return Tr("Chyba souboru parametrů (kontrolní součet)", "Error in parameter file");
}

std::string ConversionTempPath(const std::string& oldPath) {
    // A Paradox table stays a Paradox table: the engine is chosen by the
    // extension, and the new file takes the old name.
    const std::string ext = LowerExt(oldPath) == ".db" ? ExtractFileExt(oldPath) : std::string(".dbf");
    const std::string dir = ExtractFileDir(oldPath);
    std::string tmp = dir + "/Tmp" + ext;
    // Creating the new table must never replace the old one.
    if (tmp == oldPath || ReplaceExtension(tmp, ".par") == ReplaceExtension(oldPath, ".par"))
        tmp = dir + "/Tmp1" + ext;
    return tmp;
}

ConversionFileOps ConversionFileOps::System() {
    ConversionFileOps f;
    f.Exists = [](const std::string& p) { return FileExists(p); };
    f.Remove = [](const std::string& p) { return DeleteFileIfExists(p); };
    f.Rename = [](const std::string& a, const std::string& b) { return RenameFile(a, b); };
    return f;
}

// ---- the conversion -----------------------------------------------------------

OldDatabaseConversion::OldDatabaseConversion(TADM& adm) : adm_(adm) {}

OldDatabaseConversion::~OldDatabaseConversion() {
    try {
        Table1.Close();
    } catch (...) {
    }
}

bool OldDatabaseConversion::PrepareConversion(const std::string& path) {
    prepared_ = false;
    path_ = path;
    // The old parameter file must stay as it is: no parameter file is written.
    adm_.CloseTable1WithoutParameters();
    Table1.Close();
    Table1.SetPath(path);
    Table1.Open();
    if (!HasOldStructure(Table1)) {
        Table1.Close();
        RefuseStructure();
    }
    int m = 0;
    try {
        m = OldTableInputMask(Table1);
    } catch (...) {
        Table1.Close();
        throw;
    }
    if (!IsAcceptedInputMask(m)) {
        Table1.Close();
        // Czech in both languages.
        throw EADbfConvert("Databázi nelze převést");
    }
    mask_ = m;
    prepared_ = true;
    return true;
}

bool OldDatabaseConversion::ReadLegacyParameters() {
    const LegacyParameterFile f = ReadLegacyParameterFile(ReplaceExtension(path_, ".par"));
    image_ = f.Legacy.Image;
    if (!f.ChecksumOk) ApplyLegacyDefaultNames(image_);
    return f.ChecksumOk;
}

void OldDatabaseConversion::CopyRecords() {
    Table& dst = adm_.Table1;
    Table1.DisableControls();
    dst.DisableControls();
    try {
        std::int64_t n = 0;
        for (Table1.First(); !Table1.Eof(); Table1.Next()) {
            dst.Append();
            // An empty old value stays empty rather than becoming a zero reading.
            if (!Table1.IsNull(0)) dst.SetDateTime(0, Table1.AsDateTime(0));
            int k = 1;
            if (mask_ & 1) {
                if (!Table1.IsNull(1)) dst.SetFloat(1, Table1.AsFloat(1));
                k = 2;
            }
            if ((mask_ & 2) && !Table1.IsNull(2)) dst.SetFloat(k, Table1.AsFloat(2));
            dst.Post();
            ++n;
            if (AfterRecordCopied) AfterRecordCopied(n);
        }
        dst.Flush();
    } catch (...) {
        try {
            dst.EnableControls();
        } catch (...) {
        }
        try {
            Table1.EnableControls();
        } catch (...) {
        }
        throw;
    }
    dst.EnableControls();
    Table1.EnableControls();
}

void OldDatabaseConversion::DiscardNewTable(const std::string& tmp) {
    adm_.CloseTable1WithoutParameters();
    Files.Remove(tmp);
    Files.Remove(ReplaceExtension(tmp, ".par"));
}

void OldDatabaseConversion::Convert(const std::array<std::string, 2>& names, const std::array<std::string, 2>& units) {
    if (!prepared_ || spent_) RefuseStructure();
    // The old table and its files are ours alone until the renames are done.
    const TableLocks lock = LockTable(path_);
    if (!Table1.IsOpen()) {
        // A try after a rename failure that was undone completely.
        Table1.SetPath(path_);
        Table1.Open();
    }

    // 1. The image: the flags of the converted inputs only, the edited texts.
    image_.Parameters.ArchiveFlags = static_cast<std::uint8_t>(mask_ & 3);
    for (int i = 0; i < 2; ++i) {
        image_.Parameters.Input[i].SetName(names[static_cast<std::size_t>(i)]);
        image_.Parameters.Input[i].SetUnit(units[static_cast<std::size_t>(i)]);
    }
    // 2. The new record; the time label is Czech whatever the language.
    record_ = BuildParameterRecord(image_, Lang::Czech);

    // 3. The new table (an existing one brings up the overwrite question).
    const std::string tmp = ConversionTempPath(path_);
    before_ = adm_.ParameterRecord;
    try {
        adm_.CreateArchive(tmp, record_);
    } catch (...) {
        if (adm_.Table1.Path() == tmp) DiscardNewTable(tmp);
        adm_.ParameterRecord = before_;
        throw;
    }
    if (!adm_.Table1.IsOpen() || adm_.Table1.Path() != tmp) {
        // The user kept the existing file: it is not ours, so it stays.
        throw EADbfConvert(Tr("Soubor  " + tmp + " nebyl přepsán." + kCrLf + "Databáze nebyla převedena.",
                              "The file  " + tmp + " was not overwritten." + kCrLf +
                                  "The database was not converted."));
    }

    // 4.-5. The copy, then the new parameter file; the old files are not touched.
    try {
        CopyRecords();
        adm_.CloseArchive();
    } catch (...) {
        DiscardNewTable(tmp);
        adm_.ParameterRecord = before_;
        try {
            Table1.First();
        } catch (...) {
        }
        throw;
    }
    Table1.Close();

    // 6. The renames.
    RenameFiles(tmp);
    adm_.Table1.SetPath(path_);
    prepared_ = false;
    AuditEvent e;
    e.Action = audit::Conversion;
    e.Object = TableObject(path_);
    e.Details = {{"backups", {AbsolutePath(ReplaceExtension(path_, ".dbfbak")), AbsolutePath(ReplaceExtension(path_, ".parbak"))}},
                 {"input_mask", mask_},
                 {"names", {names[0], names[1]}},
                 {"units", {units[0], units[1]}}};
    e.Tables = {path_};
    WriteAudit(e);
}

void OldDatabaseConversion::RenameFiles(const std::string& tmp) {
    const std::string P = path_;
    const std::string par = ReplaceExtension(P, ".par");
    const std::string dbfbak = ReplaceExtension(P, ".dbfbak");
    const std::string parbak = ReplaceExtension(P, ".parbak");
    const std::string tmpPar = ReplaceExtension(tmp, ".par");
    FileState at{P, par, tmp, tmpPar};
    const std::string notConverted = Tr("Databáze nebyla převedena.", "The database was not converted.");

    for (const std::string& bak : {dbfbak, parbak}) {
        if (Files.Exists(bak) && !Files.Remove(bak)) {
            DiscardNewTable(tmp);
            adm_.ParameterRecord = before_;
            throw EADbfConvert(Tr("Starou zálohu  " + bak + " se nepodařilo smazat.", "The old backup  " + bak +
                                                                                         " was not deleted.") +
                               kCrLf + notConverted);
        }
    }

    const std::vector<RenameStep> steps = {{P, dbfbak, &FileState::OldTable},
                                           {par, parbak, &FileState::OldPar},
                                           {tmp, P, &FileState::NewTable},
                                           {tmpPar, par, &FileState::NewPar}};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const RenameStep& s = steps[i];
        if (Files.Rename(s.From, s.To)) {
            at.*s.Slot = s.To;
            continue;
        }
        std::string msg = Tr("Soubor  " + s.From + " se nepodařilo přejmenovat na  " + s.To + ".",
                             "The file  " + s.From + " was not renamed to  " + s.To + ".");
        // Undo the renames done so far, the last first, so that the old files
        // get their names back.
        bool undone = true;
        for (std::size_t j = i; j-- > 0;) {
            const RenameStep& u = steps[j];
            if (!Files.Rename(u.To, u.From)) {
                undone = false;
                break;
            }
            at.*u.Slot = u.From;
        }
        if (undone) {
            DiscardNewTable(tmp);
            adm_.ParameterRecord = before_;
            msg += kCrLf + notConverted;
        } else {
            // Nothing more is moved or deleted: every file is kept where it is.
            spent_ = true;
            msg += kCrLf + Tr("Stará databáze je uložena jako  " + at.OldTable + ", její parametry jako  " +
                                  at.OldPar + ".",
                              "The old database is kept as  " + at.OldTable + ", its parameters as  " +
                                  at.OldPar + ".");
            if (at.NewTable != tmp || at.NewPar != tmpPar)
                msg += kCrLf + Tr("Nová databáze je  " + at.NewTable + ", její parametry  " + at.NewPar + ".",
                                  "The new database is  " + at.NewTable + ", its parameters  " + at.NewPar + ".");
        }
        throw EADbfConvert(msg);
    }
    // Whatever is left of the new files under their first name.
    if (Files.Exists(tmp)) Files.Remove(tmp);
    if (Files.Exists(tmpPar)) Files.Remove(tmpPar);
}

// ---- without a dialog ---------------------------------------------------------

bool AutomaticOldStructureConverter::Convert(TADM& adm, const std::string& path) {
    OldDatabaseConversion c(adm);
    if (Configure) Configure(c);
    if (!c.PrepareConversion(path)) return false;
    if (!c.ReadLegacyParameters() && OnMessage) OnMessage(LegacyChecksumMessage());
    std::array<std::string, 2> names = {c.InputName(0), c.InputName(1)};
    std::array<std::string, 2> units = {c.InputUnit(0), c.InputUnit(1)};
    if (EditNames) EditNames(c, names, units);
    c.Convert(names, units);
    return true;
}

}  // namespace kolvex
