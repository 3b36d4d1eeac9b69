// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/Table.h"

#include <algorithm>
#include <cctype>

#include "base/Errors.h"
#include "base/Language.h"
#include "archive/FileOps.h"
#include "archive/dbf/DbfTable.h"
#include "archive/paradox/ParadoxTable.h"

namespace kolvex {

std::string DamagedRecordsWarning(const std::string& path, std::int64_t damaged) {
    if (damaged <= 0) return {};
    const std::string n = std::to_string(damaged);
    return Tr("Tabulka  " + path + "  je poškozená: " + n +
                  " záznamů má neplatné datum a čas (mimo roky 1 až 9999); jsou zobrazeny prázdné",
              "The table  " + path + "  is damaged: " + n +
                  " records have an invalid date and time (outside the years 1 to 9999); they are shown empty");
}

bool IsParadoxPath(const std::string& path) {
    std::string ext = ExtractFileExt(path);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".db";
}

std::unique_ptr<TableEngine> MakeTableEngine(const std::string& path) {
    if (IsParadoxPath(path)) return std::make_unique<paradox::ParadoxTable>();
    return std::make_unique<dbf::DbfTable>();
}

void TableEngine::Scan(const std::vector<int>& fields, std::int64_t firstRecNo, const ScanSink& sink) {
    // The cursor comes back exactly where it was, with its end flags.
    struct Restore {
        TableEngine& e;
        Bookmark mark;
        bool wasEof, wasBof;
        ~Restore() {
            try {
                if (!mark.Valid()) return;
                e.GotoBookmark(mark);
                if (wasEof && !wasBof)
                    e.Next();
                else if (wasBof && !wasEof)
                    e.Prior();
            } catch (...) {
            }
        }
    } restore{*this, GetBookmark(), Eof(), Bof()};
    if (!MoveTo(firstRecNo)) return;
    const std::size_t nf = fields.size();
    std::vector<bool> time(nf);
    for (std::size_t k = 0; k < nf; ++k) {
        const FieldType t = GetFieldType(fields[k]);
        time[k] = t == FieldType::DateTime || t == FieldType::Date;
    }
    constexpr std::size_t kRows = 1024;
    std::vector<double> values(kRows * nf);
    std::vector<std::uint8_t> nulls(kRows * nf);
    std::int64_t recno = firstRecNo;
    while (!Eof()) {
        std::size_t r = 0;
        for (; r < kRows && !Eof(); ++r, Next()) {
            for (std::size_t k = 0; k < nf; ++k) {
                const std::size_t at = r * nf + k;
                nulls[at] = IsNull(fields[k]) ? 1 : 0;
                values[at] = nulls[at] ? 0.0 : time[k] ? AsDateTime(fields[k]) : AsFloat(fields[k]);
            }
        }
        const ScanBlock block{recno, r, nf, values.data(), nulls.data()};
        recno += static_cast<std::int64_t>(r);
        if (r == 0 || !sink(block)) break;
    }
}

Table::Table() = default;

Table::~Table() {
    try {
        if (engine_) engine_->Close();
    } catch (...) {
    }
}

void Table::SetPath(const std::string& path) { path_ = path; }
std::string Table::FileName() const { return ExtractFileName(path_); }

TableEngine& Table::Need() const {
    if (!engine_ || !engine_->IsOpen()) throw EADM(Tr("Tabulka není otevřena", "The table is not open"));
    return *engine_;
}

void Table::ResetLayout() {
    layout_.assign(engine_ && engine_->IsOpen() ? static_cast<std::size_t>(engine_->FieldCount()) : 0, FieldLayout{});
    for (std::size_t i = 0; i < layout_.size(); ++i) layout_[i].Label = engine_->FieldName(static_cast<int>(i));
}

void Table::Notify(TableEvent e) {
    if (disabled_ > 0 || listeners_.empty()) return;
    const auto copy = listeners_;
    for (TableListener* l : copy) l->TableChanged(e);
}

void Table::Create(const std::vector<FieldDef>& fields) {
    Close();
    engine_ = MakeTableEngine(path_);
    engine_->Create(path_, fields);
    if (exclusive_) {
        engine_->Close();
        engine_->Open(path_, true);
    }
    ResetLayout();
    Notify(TableEvent::Opened);
}

void Table::Open() {
    Close();
    engine_ = MakeTableEngine(path_);
    engine_->Open(path_, exclusive_);
    ResetLayout();
    Notify(TableEvent::Opened);
}

void Table::Close() {
    if (!engine_) return;
    const bool wasOpen = engine_->IsOpen();
    std::unique_ptr<TableEngine> e = std::move(engine_);
    layout_.clear();
    e->Close();
    if (wasOpen) Notify(TableEvent::Closed);
}

bool Table::IsOpen() const { return engine_ && engine_->IsOpen(); }
bool Table::IsExclusive() const { return engine_ && engine_->IsExclusive(); }
std::string Table::TableType() const { return Need().TableType(); }

int Table::FieldCount() const { return IsOpen() ? engine_->FieldCount() : 0; }
std::string Table::FieldName(int i) const { return Need().FieldName(i); }
FieldType Table::GetFieldType(int i) const { return Need().GetFieldType(i); }

FieldLayout& Table::Layout(int i) {
    if (i < 0 || i >= static_cast<int>(layout_.size())) throw EADM(Tr("Pole neexistuje", "No such field"));
    return layout_[static_cast<std::size_t>(i)];
}
const FieldLayout& Table::Layout(int i) const { return const_cast<Table*>(this)->Layout(i); }

bool Table::IsNull(int i) const { return Need().IsNull(i); }
double Table::AsDateTime(int i) const { return Need().AsDateTime(i); }
double Table::AsFloat(int i) const { return Need().AsFloat(i); }
std::string Table::AsText(int i) const { return Need().AsText(i); }
void Table::SetDateTime(int i, double v) { Need().SetDateTime(i, v); }
void Table::SetFloat(int i, double v) { Need().SetFloat(i, v); }
void Table::SetText(int i, std::string_view t) { Need().SetText(i, t); }
void Table::SetNull(int i) { Need().SetNull(i); }

void Table::AssignField(int i, const Table& source, int j) {
    TableEngine& dst = Need();
    const TableEngine& src = source.Need();
    if (src.IsNull(j)) return dst.SetNull(i);
    switch (dst.GetFieldType(i)) {
        case FieldType::DateTime:
        case FieldType::Date: return dst.SetDateTime(i, src.AsDateTime(j));
        case FieldType::Text: return dst.SetText(i, src.AsText(j));
        default: return dst.SetFloat(i, src.AsFloat(j));
    }
}

void Table::Append() {
    Need().Append();
}

void Table::Post() {
    Need().Post();
    Notify(TableEvent::DataChanged);
}

void Table::Flush() {
    if (IsOpen()) engine_->Flush();
}

void Table::First() {
    Need().First();
    Notify(TableEvent::Scrolled);
}
void Table::Next() {
    Need().Next();
    Notify(TableEvent::Scrolled);
}
void Table::Prior() {
    Need().Prior();
    Notify(TableEvent::Scrolled);
}
void Table::Last() {
    Need().Last();
    Notify(TableEvent::Scrolled);
}
bool Table::Eof() const { return !IsOpen() || engine_->Eof(); }
bool Table::Bof() const { return !IsOpen() || engine_->Bof(); }
std::int64_t Table::RecordCount() { return IsOpen() ? engine_->RecordCount() : 0; }
std::int64_t Table::RecNo() { return IsOpen() ? engine_->RecNo() : 0; }

bool Table::MoveTo(std::int64_t recno) {
    const bool ok = Need().MoveTo(recno);
    if (ok) Notify(TableEvent::Scrolled);
    return ok;
}

Bookmark Table::GetBookmark() const { return Need().GetBookmark(); }

void Table::GotoBookmark(const Bookmark& b) {
    Need().GotoBookmark(b);
    Notify(TableEvent::Scrolled);
}

void Table::Scan(const std::vector<int>& fields, std::int64_t firstRecNo, const ScanSink& sink) {
    Need().Scan(fields, firstRecNo, sink);
}

void Table::Delete() {
    Need().Delete();
    Notify(TableEvent::DataChanged);
}

void Table::Empty() {
    Need().Empty();
    Notify(TableEvent::DataChanged);
}

void Table::Pack() {
    Need().Pack();
    Notify(TableEvent::DataChanged);
}

void Table::AddListener(TableListener* l) {
    if (l && std::find(listeners_.begin(), listeners_.end(), l) == listeners_.end()) listeners_.push_back(l);
}

void Table::RemoveListener(TableListener* l) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), l), listeners_.end());
}

void Table::DisableControls() { ++disabled_; }

void Table::EnableControls() {
    if (disabled_ == 0) return;
    if (--disabled_ == 0) {
        // The end of a batch: what was appended reaches the file and its header.
        if (IsOpen()) engine_->Flush();
        Notify(TableEvent::DataChanged);
    }
}

}  // namespace kolvex
