// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The conversion of archive tables of the old structure (a time stamp
// `DATUMCAS` or `DATETIME`, `VSTUP1`, `VSTUP2` and a per-record mask
// `MASKAA`, with the 188-byte parameter image as their ".par" file) into a
// table of the current layout with a 528-byte parameter file. The old files
// are kept as ".dbfbak" and ".parbak" and the new table takes the old name.
//
// The work is split the way the conversion dialog runs it: PrepareConversion
// checks the table and finds the recorded inputs, ReadLegacyParameters loads
// the old parameter file, and Convert does the copy and the renames. The
// dialog only adds the edits for the input names and units.
//
// Safety: a failure before the renames (creating the new table, the record
// copy, writing its parameter file) leaves the old table and its parameter
// file untouched and removes the new files. A failure of any rename stops the
// sequence at once; the steps that would leave the old table without its own
// name are undone where possible, and the message says where the old files
// are.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "archive/Adm.h"
#include "archive/ParameterFile.h"
#include "archive/Table.h"

namespace kolvex {

// True when the first four fields are the old layout, names compared without
// regard to case: DATUMCAS or DATETIME, VSTUP1, VSTUP2, MASKAA.
bool HasOldStructure(const Table& table);

// The input mask of an open old table: the OR of the integer values of the
// mask field from the first record on, stopping as soon as it reaches 7;
// 7 for an empty table. The cursor is left where the scan stopped.
int OldTableInputMask(Table& table);

// Accepted masks: 5, 6 and 7 (bit 2 marks a mask written by the logger's
// program; bits 0 and 1 are the inputs).
bool IsAcceptedInputMask(int mask);

// The legacy parameter file as read: the image and whether its 16-bit check
// sum matched. A file shorter than 188 bytes is read as far as it goes, the
// rest zero.
struct LegacyParameterFile {
    LegacyParameterImage Legacy;
    bool ChecksumOk = false;
};
// Throws EADM "Soubor  %s se nepodařilo otevřít." when it cannot be opened.
LegacyParameterFile ReadLegacyParameterFile(const std::string& parPath);

// The names offered when the check sum is wrong: "Vstup1", "Vstup2", no units.
void ApplyLegacyDefaultNames(LoggerImage& image);

// The file of the new table before it takes the old name: "Tmp" with the
// extension of the engine the old table uses (".dbf", or ".db" for Paradox),
// in the old table's directory; another name when the old table is itself
// called so.
std::string ConversionTempPath(const std::string& oldPath);

// File services used by the renames; tests replace them to make a step fail.
struct ConversionFileOps {
    std::function<bool(const std::string&)> Exists;
    std::function<bool(const std::string&)> Remove;  // true when gone afterwards
    std::function<bool(const std::string& from, const std::string& to)> Rename;
    static ConversionFileOps System();
};

// One conversion of one old table.
class OldDatabaseConversion {
public:
    explicit OldDatabaseConversion(TADM& adm);
    ~OldDatabaseConversion();
    OldDatabaseConversion(const OldDatabaseConversion&) = delete;
    OldDatabaseConversion& operator=(const OldDatabaseConversion&) = delete;

    // The old table, opened by PrepareConversion.
    Table Table1;

    // Closes the data module's Table1 without writing its parameter file,
    // opens the old table, checks its structure and finds the input mask.
    // EADbfConvert "Databázi nelze převést" when it is not an old table or
    // the mask is not 5, 6 or 7 (the old table is then closed). True when the
    // conversion may go on.
    bool PrepareConversion(const std::string& path);

    // Reads P.par; on a wrong check sum the default names are put into the
    // image. Returns whether the check sum matched. EADM when the file
    // cannot be opened.
    bool ReadLegacyParameters();

    const std::string& Path() const { return path_; }
    int Mask() const { return mask_; }
    bool HasInput(int n) const { return (mask_ >> n) & 1; }  // n = 0, 1
    // The legacy image (after ReadLegacyParameters).
    const LoggerImage& Image() const { return image_; }
    std::string InputName(int n) const { return image_.Parameters.Input[n].Name(); }
    std::string InputUnit(int n) const { return image_.Parameters.Input[n].Unit(); }

    // The conversion with the names and units of both inputs (those of an
    // input that is not converted are stored but not used). Afterwards the
    // data module's Table1 is pointed at the old name (closed; the caller
    // opens it). Throws EADM / EADbfConvert on failure; see the safety notes
    // above for what is left on disk.
    void Convert(const std::array<std::string, 2>& names, const std::array<std::string, 2>& units);
    // True once a rename failed: the old files have moved and another try
    // would not find them.
    bool Spent() const { return spent_; }

    // The parameter record of the new table (after Convert).
    const ArchiveParameterRecord& NewRecord() const { return record_; }

    // Test hooks.
    ConversionFileOps Files = ConversionFileOps::System();
    // Called after every copied record with its number (1-based); may throw.
    std::function<void(std::int64_t)> AfterRecordCopied;

private:
    void CopyRecords();
    void DiscardNewTable(const std::string& tmp);
    void RenameFiles(const std::string& tmp);

    TADM& adm_;
    std::string path_;
    int mask_ = 0;
    bool prepared_ = false;
    bool spent_ = false;
    LoggerImage image_;
    ArchiveParameterRecord record_;
    ArchiveParameterRecord before_;  // the data module's record before the new table
};

// Converts without a dialog: keeps the names and units of the legacy file
// (or the defaults on a wrong check sum, after reporting the check sum
// message). For the command-line tool and the tests.
class AutomaticOldStructureConverter : public OldStructureConverter {
public:
    bool Convert(TADM& adm, const std::string& path) override;

    // Receives "Chyba souboru parametrů (kontrolní součet)" / "Error in
    // parameter file" on a wrong legacy check sum.
    std::function<void(const std::string&)> OnMessage;
    // Lets a caller adjust the names and units before the conversion runs.
    std::function<void(OldDatabaseConversion&, std::array<std::string, 2>& names,
                       std::array<std::string, 2>& units)>
        EditNames;
    // Lets a test reach the conversion's own hooks before it runs.
    std::function<void(OldDatabaseConversion&)> Configure;
};

// The check sum message of the legacy parameter file in the current language.
std::string LegacyChecksumMessage();

}  // namespace kolvex
