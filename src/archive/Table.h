// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The table engine: one interface for the archive tables on disk, with a
// dBASE implementation (".dbf", written as Visual FoxPro, read at every common
// level) and a Paradox implementation (".db"). `Table` is the component the
// program works with: it is pointed at a file, picks the engine by the file's
// extension, carries the display layout of its fields and tells attached
// controls about changes unless their updating is suspended.
//
// Navigation follows the usual data-set rules: First() sets Bof, Last() sets
// Eof, Next() past the last record sets Eof and leaves the cursor on the last
// record, Prior() before the first sets Bof. Deleted records are invisible to
// navigation, counting and record numbers. Setting a field of the current
// record starts editing it; Append() starts a new record; the record being
// edited or appended is stored by Post() or by the next move, Append(),
// Flush() or Close().

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kolvex {

enum class FieldType { Unknown, DateTime, Float, Integer, AutoInc, Currency, Text, Date, Logical };

// One field of a new table. Size is used for text fields only (default 20).
struct FieldDef {
    FieldType Type = FieldType::Unknown;
    std::string Name;
    int Size = 0;
};

// A position taken with GetBookmark; valid until the table is closed or packed.
struct Bookmark {
    std::int64_t Position = -1;
    bool Valid() const { return Position >= 0; }
};

// Rows decoded by a scan: `Rows` records of `Fields` numbers each, row after
// row. Date-time and date fields hold their date-time value, every other
// field what AsFloat reads; an empty field holds 0 and is flagged in Nulls.
struct ScanBlock {
    std::int64_t FirstRecNo = 0;  // the record number of the first row
    std::size_t Rows = 0;
    std::size_t Fields = 0;
    const double* Values = nullptr;
    const std::uint8_t* Nulls = nullptr;  // 1 where the field is empty
};
// Takes one block of a scan; false stops the scan.
using ScanSink = std::function<bool(const ScanBlock& block)>;

// One open table file. Implementations raise EADM on every failure.
class TableEngine {
public:
    virtual ~TableEngine() = default;

    // Creates the file with the fields (an existing file is replaced) and opens it.
    virtual void Create(const std::string& path, const std::vector<FieldDef>& fields) = 0;
    virtual void Open(const std::string& path, bool exclusive) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual bool IsExclusive() const = 0;
    virtual std::string TableType() const = 0;  // "DBASE" or "PARADOX"

    virtual int FieldCount() const = 0;
    virtual std::string FieldName(int i) const = 0;
    virtual FieldType GetFieldType(int i) const = 0;

    // Field access of the current record. An empty field reads as 0 / "".
    virtual bool IsNull(int i) const = 0;
    virtual double AsDateTime(int i) const = 0;
    virtual double AsFloat(int i) const = 0;
    virtual std::string AsText(int i) const = 0;
    virtual void SetDateTime(int i, double value) = 0;
    virtual void SetFloat(int i, double value) = 0;
    virtual void SetText(int i, std::string_view utf8) = 0;
    virtual void SetNull(int i) = 0;

    virtual void Append() = 0;
    virtual void Post() = 0;
    // Writes everything pending and brings the header up to date.
    virtual void Flush() = 0;

    virtual void First() = 0;
    virtual void Next() = 0;
    virtual void Prior() = 0;
    virtual void Last() = 0;
    virtual bool Eof() const = 0;
    virtual bool Bof() const = 0;
    virtual std::int64_t RecordCount() = 0;
    // 1-based number of the current record among the live ones; 0 when none.
    virtual std::int64_t RecNo() = 0;
    // Makes record number recno (1-based) current; false when out of range.
    virtual bool MoveTo(std::int64_t recno) = 0;
    virtual Bookmark GetBookmark() const = 0;
    virtual void GotoBookmark(const Bookmark& b) = 0;

    // Reads `fields` of the live records from record number firstRecNo on,
    // in table order, a block of rows at a time, for walks over whole tables.
    // The cursor stays where it is. This one walks the cursor; an engine
    // overrides it with a tight loop over its records.
    virtual void Scan(const std::vector<int>& fields, std::int64_t firstRecNo, const ScanSink& sink);

    // Deletes the current record; the cursor moves to the following one
    // (Eof when it was the last).
    virtual void Delete() = 0;
    virtual void Empty() = 0;
    // Removes deleted records physically (rewrites the file; the old file
    // stays intact until the new one has replaced it).
    virtual void Pack() = 0;

    // Records that the header counts but the file no longer holds (a table
    // cut short, open read-only with its complete records).
    virtual std::int64_t MissingRecords() const { return 0; }
    // Live records with a date or time stamp that is damaged (outside the
    // years 1 to 9999 or not a date at all); such a field reads as empty.
    virtual std::int64_t DamagedRecords() { return 0; }
};

// The warning about records with damaged time stamps; empty when there are none.
std::string DamagedRecordsWarning(const std::string& path, std::int64_t damaged);

// Engine for a path: ".db" (any case) Paradox, anything else dBASE.
std::unique_ptr<TableEngine> MakeTableEngine(const std::string& path);
bool IsParadoxPath(const std::string& path);

enum class TableEvent { Opened, Closed, Scrolled, DataChanged };

// Controls attached to a table (grid, record counter, chart) implement this.
class TableListener {
public:
    virtual ~TableListener() = default;
    virtual void TableChanged(TableEvent event) = 0;
};

// What ApplyFieldLayout gives a field for display.
struct FieldLayout {
    std::string Label;
    std::string DisplayFormat;
    int Precision = 0;
};

class Table {
public:
    Table();
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // The file this component stands for; takes effect at the next open or create.
    void SetPath(const std::string& path);
    const std::string& Path() const { return path_; }
    std::string FileName() const;
    void SetExclusive(bool exclusive) { exclusive_ = exclusive; }
    bool Exclusive() const { return exclusive_; }

    void Create(const std::vector<FieldDef>& fields);
    void Open();
    void Close();
    bool IsOpen() const;
    bool IsExclusive() const;
    std::string TableType() const;

    int FieldCount() const;
    std::string FieldName(int i) const;
    FieldType GetFieldType(int i) const;
    FieldLayout& Layout(int i);
    const FieldLayout& Layout(int i) const;

    bool IsNull(int i) const;
    double AsDateTime(int i) const;
    double AsFloat(int i) const;
    std::string AsText(int i) const;
    void SetDateTime(int i, double value);
    void SetFloat(int i, double value);
    void SetText(int i, std::string_view utf8);
    void SetNull(int i);
    // Field i takes the value of field j of the current record of source.
    void AssignField(int i, const Table& source, int j);

    void Append();
    void Post();
    void Flush();

    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const;
    bool Bof() const;
    std::int64_t RecordCount();
    std::int64_t RecNo();
    bool MoveTo(std::int64_t recno);
    Bookmark GetBookmark() const;
    void GotoBookmark(const Bookmark& b);
    void FreeBookmark(Bookmark& b) { b.Position = -1; }
    // See TableEngine::Scan.
    void Scan(const std::vector<int>& fields, std::int64_t firstRecNo, const ScanSink& sink);

    void Delete();
    void Empty();
    void Pack();
    std::int64_t MissingRecords() const { return engine_ && engine_->IsOpen() ? engine_->MissingRecords() : 0; }
    std::int64_t DamagedRecords() { return engine_ && engine_->IsOpen() ? engine_->DamagedRecords() : 0; }

    // Attached controls. While the updating is suspended (nested counter)
    // no events are sent; resuming to zero flushes pending writes and sends
    // one DataChanged.
    void AddListener(TableListener* listener);
    void RemoveListener(TableListener* listener);
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return disabled_ > 0; }

    // The engine, for code that needs it directly (null when none is open).
    TableEngine* Engine() { return engine_.get(); }

private:
    TableEngine& Need() const;
    void Notify(TableEvent e);
    void ResetLayout();

    std::string path_;
    bool exclusive_ = false;
    std::unique_ptr<TableEngine> engine_;
    std::vector<FieldLayout> layout_;
    std::vector<TableListener*> listeners_;
    int disabled_ = 0;
};

}  // namespace kolvex
