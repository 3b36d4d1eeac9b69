// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// dBASE tables. New tables are Visual FoxPro tables (version 0x30, code page
// byte 0xC8 = Windows 1250; date-time 'T', doubles 'B'). Existing tables are
// read at dBASE III/IV/5, dBASE level 7, FoxPro and Visual FoxPro level and
// keep their own format when records are appended.
//
// Records are read through a window of about 1 MB and appended through a
// buffer of about 256 KB; every flush of that buffer writes the records
// first and the header's record count after them, so a crash leaves a count
// that is at most stale. Opening recovers complete records beyond a stale
// count and ignores a torn last record.

#include <cstdint>
#include <string>
#include <vector>

#include "archive/Table.h"
#include "archive/dbf/DbfCodePage.h"

namespace kolvex::dbf {

enum class DbfLevel { Dbase3, Dbase7, VisualFoxPro };

struct DbfField {
    std::string Name;
    char Type = 'C';
    std::uint32_t Offset = 0;  // in the record; the deleted flag is byte 0
    std::uint32_t Length = 0;
    std::uint8_t Decimals = 0;
    int NullBit = -1;  // bit in _NullFlags (Visual FoxPro nullable fields)
    int VarBit = -1;   // bit in _NullFlags set when a varchar holds its length in its last byte
    FieldType Kind = FieldType::Unknown;
};

struct RepairResult {
    bool Changed = false;        // false when the table needed no repair
    std::int64_t Kept = 0;       // complete records in the repaired table
    std::int64_t Missing = 0;    // records the header counted that were lost
};

class DbfTable final : public TableEngine {
public:
    // Brings a damaged table (cut short, a stale count, a torn last record)
    // to its complete records with a true count and an end mark. The original
    // is first copied byte for byte to backupPath; an existing backup is
    // replaced only when replaceBackup is set. The repaired table replaces
    // the original in one rename.
    static RepairResult Repair(const std::string& path, const std::string& backupPath, bool replaceBackup);

    DbfTable() = default;
    ~DbfTable() override;

    void Create(const std::string& path, const std::vector<FieldDef>& fields) override;
    void Open(const std::string& path, bool exclusive) override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    bool IsExclusive() const override { return fd_ >= 0 && exclusive_; }
    std::string TableType() const override { return "DBASE"; }

    int FieldCount() const override { return static_cast<int>(fields_.size()); }
    std::string FieldName(int i) const override;
    FieldType GetFieldType(int i) const override;

    bool IsNull(int i) const override;
    double AsDateTime(int i) const override;
    double AsFloat(int i) const override;
    std::string AsText(int i) const override;
    void SetDateTime(int i, double value) override;
    void SetFloat(int i, double value) override;
    void SetText(int i, std::string_view utf8) override;
    void SetNull(int i) override;

    void Append() override;
    void Post() override;
    void Flush() override;

    void First() override;
    void Next() override;
    void Prior() override;
    void Last() override;
    bool Eof() const override { return eof_; }
    bool Bof() const override { return bof_; }
    std::int64_t RecordCount() override;
    std::int64_t RecNo() override;
    bool MoveTo(std::int64_t recno) override;
    Bookmark GetBookmark() const override;
    void GotoBookmark(const Bookmark& b) override;

    void Delete() override;
    void Empty() override;
    void Pack() override;

    // A tight loop over a read-only map of the records.
    void Scan(const std::vector<int>& fields, std::int64_t firstRecNo, const ScanSink& sink) override;

    // Details of the open file.
    DbfLevel Level() const { return level_; }
    std::uint8_t VersionByte() const { return version_; }
    const DbfField& Field(int i) const;
    std::int64_t PhysicalCount() const { return physCount_; }
    bool Recovered() const { return recovered_; }
    // Records the header counts that the file no longer holds (a table cut
    // short); such a table is open read-only.
    std::int64_t MissingRecords() const override { return missing_; }
    // The table has memo fields but its memo file (".dbt" or ".fpt") is
    // missing or unreadable: memo fields read empty.
    bool MemoMissing() const { return memoMissing_; }
    std::int64_t DamagedRecords() override;

private:
    enum class State { Browse, Edit, Insert };

    const std::uint8_t* Rec(std::int64_t i) const;
    const std::uint8_t* LoadWindow(std::int64_t i) const;
    std::uint8_t* MutableRec(std::int64_t i);
    const std::uint8_t* CurRec() const;
    std::uint8_t* EditRec();
    const DbfField& F(int i) const;
    bool FieldNull(const DbfField& f, const std::uint8_t* r) const;
    double ReadNumber(const DbfField& f, const std::uint8_t* r) const;
    void DecodeColumn(const DbfField& f, const std::uint8_t* const* rows, std::size_t n, std::size_t stride, double* v,
                      std::uint8_t* z) const;
    void SetNullBit(const DbfField& f, std::uint8_t* r, bool null);
    void WriteEmpty(const DbfField& f, std::uint8_t* r);
    void PostIfEditing();
    void FlushDirty() const;
    void NeedWritable() const;
    void EnsureDeletedCount();
    void EnsureLive();
    std::int64_t NextLive(std::int64_t from) const;  // first live index >= from, or -1
    std::int64_t PriorLive(std::int64_t from) const; // last live index <= from, or -1
    void WriteHeaderCount();
    void CutTornTail();
    [[noreturn]] void FailIo(const char* cs, const char* en) const;
    void RewriteFile(bool keepRecords);
    void Reset();
    // The steps of Open, in their order.
    std::int64_t OpenFile(const std::string& path, bool exclusive);
    void ReadHeader(std::int64_t size);
    void ReadFieldDescriptors();
    void OpenMemo();
    void CountRecords(std::int64_t size);
    std::int64_t CountRecordsAfterStaleCount(std::int64_t available);
    std::string ReadMemo(const DbfField& f, const std::uint8_t* p) const;
    bool StampDamaged(const DbfField& f, const std::uint8_t* r) const;

    int fd_ = -1;
    bool writable_ = false;
    bool linked_ = false;  // the name is a symbolic link: never written through
    bool exclusive_ = false;
    std::string path_;
    DbfLevel level_ = DbfLevel::VisualFoxPro;
    std::uint8_t version_ = 0x30;
    std::uint8_t codePage_ = 0;
    CodePage textCp_ = CodePage::Cp1250;  // of character and memo fields
    std::uint32_t headerLen_ = 0;
    std::uint32_t recLen_ = 0;
    std::vector<DbfField> fields_;
    std::vector<std::uint8_t> header_;  // the header bytes as read or written
    int nullFlagsOffset_ = -1;
    int nullFlagsLength_ = 0;
    int memoFd_ = -1;
    bool memoFox_ = false;  // FoxPro ".fpt" rather than dBASE ".dbt"
    bool memoMissing_ = false;
    std::uint32_t memoBlock_ = 512;
    std::int64_t memoSize_ = 0;

    std::int64_t headerCount_ = 0;  // record count in the file's header
    std::int64_t fileCount_ = 0;    // records in the file
    std::int64_t physCount_ = 0;    // fileCount_ + appended ones still in pending_
    std::vector<std::uint8_t> pending_;
    std::size_t pendingCap_ = 0;
    bool recovered_ = false;
    bool tornTail_ = false;       // bytes after the records other than one end mark
    mutable bool modified_ = false;
    std::int64_t missing_ = 0;

    mutable std::vector<std::uint8_t> win_;
    mutable std::int64_t winFirst_ = 0;
    mutable std::int64_t winCount_ = 0;
    mutable std::int64_t dirtyLo_ = -1;
    mutable std::int64_t dirtyHi_ = -1;
    std::int64_t winCap_ = 1;

    std::vector<std::uint8_t> edit_;
    State state_ = State::Browse;
    std::int64_t cur_ = -1;
    bool eof_ = true;
    bool bof_ = true;

    bool deletedKnown_ = false;
    std::int64_t deleted_ = 0;
    bool damagedKnown_ = false;  // damaged_ holds the count of the records as they are
    std::int64_t damaged_ = 0;
    bool liveValid_ = false;
    std::vector<std::uint32_t> live_;
};

}  // namespace kolvex::dbf
