// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Paradox ".db" tables through pxlib. The table is read into memory when it
// is opened; changes are written back by rewriting the whole file into a
// temporary file that is renamed into place (at Flush, Pack, Empty and
// Close), so the file on disk is always a complete table. Deleted records
// are dropped when the file is written.

#include <cstdint>
#include <string>
#include <vector>

#include "archive/Table.h"

namespace kolvex::paradox {

struct ParadoxField {
    std::string Name;
    int PxType = 0;  // pxf* code
    int Length = 0;
    int Decimals = 0;
    int Offset = 0;
    FieldType Kind = FieldType::Unknown;
};

class ParadoxTable final : public TableEngine {
public:
    ParadoxTable() = default;
    ~ParadoxTable() override;

    void Create(const std::string& path, const std::vector<FieldDef>& fields) override;
    void Open(const std::string& path, bool exclusive) override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    bool IsExclusive() const override { return open_ && exclusive_; }
    std::string TableType() const override { return "PARADOX"; }

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
    std::int64_t RecordCount() override { return static_cast<std::int64_t>(recs_.size()); }
    std::int64_t RecNo() override;
    bool MoveTo(std::int64_t recno) override;
    Bookmark GetBookmark() const override { return Bookmark{cur_}; }
    void GotoBookmark(const Bookmark& b) override;

    void Delete() override;
    void Empty() override;
    void Pack() override;

    std::int64_t DamagedRecords() override;

private:
    // The value of a date or time-stamp field of record r; false when the
    // field is empty or damaged (outside the years 1 to 9999).
    static bool StampValue(const ParadoxField& f, const std::uint8_t* r, double& value);
    const ParadoxField& F(int i) const;
    const std::uint8_t* CurRec() const;
    std::uint8_t* EditRec();
    void WriteFile(const std::string& path) const;

    bool open_ = false;
    bool exclusive_ = false;
    bool dirty_ = false;
    int lockFd_ = -1;
    std::string path_;
    std::vector<ParadoxField> fields_;
    int recSize_ = 0;
    std::vector<std::vector<std::uint8_t>> recs_;
    std::vector<std::uint8_t> edit_;
    enum class State { Browse, Edit, Insert } state_ = State::Browse;
    std::int64_t cur_ = -1;
    bool eof_ = true, bof_ = true;
};

}  // namespace kolvex::paradox
