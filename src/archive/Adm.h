// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The data module: owner of the open archive table `Table1`, the temporary
// table `TableTmp` of a download and the one in-memory parameter record of
// the open table, which reaches the ".par" file whenever the table closes.
// All failures are EADM / EADbfErase with the message in the current
// language. Questions go through an Answerer that the user interface
// implements; the core never shows a window.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/ParameterFile.h"
#include "archive/Table.h"

namespace kolvex {

// Yes/No confirmation boxes.
class Answerer {
public:
    virtual ~Answerer() = default;
    virtual bool Confirm(const std::string& question) = 0;
};

// Gives the same answer to every question and remembers the questions;
// for the command-line tool and the tests.
class FixedAnswerer : public Answerer {
public:
    explicit FixedAnswerer(bool answer) : answer_(answer) {}
    bool Confirm(const std::string& question) override {
        Questions.push_back(question);
        return answer_;
    }
    void SetAnswer(bool answer) { answer_ = answer; }
    std::vector<std::string> Questions;

private:
    bool answer_;
};

class TADM;

// The conversion of an old-structure table: prepares it, shows its dialog and
// converts. True when the table was converted; it must then leave Table1
// pointed at the converted table (which bears the old table's name).
class OldStructureConverter {
public:
    virtual ~OldStructureConverter() = default;
    virtual bool Convert(TADM& adm, const std::string& path) = 0;
};

// Repairs a damaged dBASE table (see dbf::DbfTable::Repair); the number of
// records kept, or -1 when the table needed no repair.
std::int64_t RepairTableFile(const std::string& path, const std::string& backupPath, bool replaceBackup);

class TADM : private TableListener {
public:
    explicit TADM(Answerer* answerer = nullptr);
    ~TADM() override;
    TADM(const TADM&) = delete;
    TADM& operator=(const TADM&) = delete;

    Table Table1;
    Table TableTmp;
    ArchiveParameterRecord ParameterRecord;  // all zero at start-up

    void SetAnswerer(Answerer* answerer) { answerer_ = answerer; }
    void SetConverter(OldStructureConverter* converter) { converter_ = converter; }
    // The viewer's record counter update; called by Table1AfterScroll.
    std::function<void()> RecordCounterHook;

    bool OpenArchive(const std::string& path);
    void CreateArchive(const std::string& path, const ArchiveParameterRecord& record);
    void OpenOrCreateArchive(const std::string& path, const ArchiveParameterRecord& record);
    void CloseArchive();
    void ReadParameterFile(const std::string& tablePath);
    void WriteParameterFile(const std::string& tablePath);
    void ValidateParameterRecord();
    void ApplyFieldLayout();
    bool ConfirmOldStructureConversion(const std::string& path);
    // Creates the temporary table at path, which must not exist yet.
    void CreateTempTable(const std::string& path, const ArchiveParameterRecord& record);
    void DropTempTable();
    // Before appending to Table1: a table cut short is repaired when the user
    // agrees (the original kept as ".dbfbak"), otherwise EADM refuses.
    void RepairDamagedTable1();
    // Repairs Table1 without the first question (an existing backup is
    // replaced only when the user agrees) and opens it again.
    void RepairTable1();
    void PackTable();
    void DeleteArchiveFiles();
    // Deletes the records whose DATETIME lies in [start, end] and packs the
    // table; progress (0..100) is reported after every record.
    std::int32_t DeleteRecordsInPeriod(double start, double end,
                                       const std::function<void(int)>& progress = {});
    void Table1AfterScroll();
    // Closes Table1 without writing its parameter file (the old-structure
    // conversion keeps the old parameter file unchanged).
    void CloseTable1WithoutParameters();

    // True while the open table has no parameter file and its record, built
    // from the table, is unchanged (apart from the panel width): closing then
    // writes no ".par".
    bool ParametersBuilt() const { return parametersBuilt_ && !ParametersChanged(); }

    // The field list of a new table from the first n descriptors of record.
    static std::vector<FieldDef> FieldsOf(const ArchiveParameterRecord& record);

private:
    void TableChanged(TableEvent event) override;

    bool ParametersChanged() const;

    Answerer* answerer_;
    OldStructureConverter* converter_ = nullptr;
    bool parametersBuilt_ = false;
    ArchiveParameterRecord builtRecord_;
};

// The parameter record of a table that has no parameter file.
ArchiveParameterRecord RecordFromTable(const Table& table);

}  // namespace kolvex
