// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/ui/ArchiveGrid.h"

#include <QApplication>
#include <QPainter>

#include <algorithm>
#include <limits>

#include "archive/ParameterFile.h"
#include "archive/ui/ViewerSupport.h"

namespace kolvex::ui {

namespace {
constexpr int kPageRows = 64;
constexpr int kMaxColumns = 4;  // DATETIME and at most two values; more is the old structure
}  // namespace

ArchiveGridModel::ArchiveGridModel(TADM& adm, QObject* parent) : QAbstractTableModel(parent), adm_(adm) {}

int ArchiveGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }
int ArchiveGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columns_; }

void ArchiveGridModel::ReadColumns() {
    Table& t = adm_.Table1;
    rows_ = 0;
    columns_ = 0;
    float_.clear();
    decimals_.clear();
    units_.clear();
    labels_.clear();
    if (!t.IsOpen()) return;
    const std::int64_t n = t.RecordCount();
    rows_ = static_cast<int>(std::min<std::int64_t>(n, std::numeric_limits<int>::max()));
    columns_ = std::min(t.FieldCount(), kMaxColumns);
    for (int c = 0; c < columns_; ++c) {
        const FieldType type = t.GetFieldType(c);
        float_.push_back(type == FieldType::Float || type == FieldType::Currency);
        const FieldLayout& layout = t.Layout(c);
        labels_.push_back(QString::fromStdString(layout.Label));
        if (c < kMaxDescriptors) {
            const FieldDescriptor d = adm_.ParameterRecord.Descriptor(c);
            decimals_.push_back(d.Decimals);
            units_.push_back(d.Unit);
        } else {
            decimals_.push_back(layout.Precision);
            units_.push_back(layout.DisplayFormat);
        }
    }
}

void ArchiveGridModel::Reset() {
    beginResetModel();
    page_.clear();
    pageFirst_ = -1;
    current_ = -1;
    ReadColumns();
    endResetModel();
}

void ArchiveGridModel::Refresh() {
    Table& t = adm_.Table1;
    const int columns = t.IsOpen() ? std::min(t.FieldCount(), kMaxColumns) : 0;
    const std::int64_t n = t.IsOpen() ? t.RecordCount() : 0;
    if (columns != columns_) return Reset();
    page_.clear();
    pageFirst_ = -1;
    const int rows = static_cast<int>(std::min<std::int64_t>(n, std::numeric_limits<int>::max()));
    if (rows > rows_) {
        beginInsertRows(QModelIndex(), rows_, rows - 1);
        rows_ = rows;
        endInsertRows();
    } else if (rows < rows_) {
        beginRemoveRows(QModelIndex(), rows, rows_ - 1);
        rows_ = rows;
        endRemoveRows();
    }
    if (current_ >= rows_) current_ = -1;
    if (rows_ > 0 && columns_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1));
    emit headerDataChanged(Qt::Vertical, 0, std::max(0, rows_ - 1));
}

void ArchiveGridModel::SetCurrentRow(int row) {
    if (row == current_) return;
    const int old = current_;
    current_ = row;
    if (old >= 0 && old < rows_) emit headerDataChanged(Qt::Vertical, old, old);
    if (row >= 0 && row < rows_) emit headerDataChanged(Qt::Vertical, row, row);
}

const ArchiveGridModel::Row* ArchiveGridModel::Fetch(int row) const {
    if (row < 0 || row >= rows_) return nullptr;
    if (pageFirst_ >= 0 && row >= pageFirst_ && row < pageFirst_ + static_cast<int>(page_.size()))
        return &page_[static_cast<std::size_t>(row - pageFirst_)];
    Table& t = adm_.Table1;
    // While the updating of the attached controls is suspended the table
    // belongs to the operation that suspended it: its cursor is not moved.
    TableEngine* e = t.Engine();
    if (!e || !e->IsOpen() || t.ControlsDisabled()) return nullptr;
    try {
        const std::int64_t count = e->RecordCount();
        if (row >= count) return nullptr;
        // The page of rows read by record number; the cursor does not move.
        const int first = row / kPageRows * kPageRows;
        const int n = static_cast<int>(std::min<std::int64_t>(kPageRows, count - first));
        std::vector<int> fields(static_cast<std::size_t>(columns_));
        for (int c = 0; c < columns_; ++c) fields[static_cast<std::size_t>(c)] = c;
        std::vector<Row> page;
        page.reserve(static_cast<std::size_t>(n));
        e->Scan(fields, first + 1, [&](const ScanBlock& b) {
            for (std::size_t r = 0; r < b.Rows && static_cast<int>(page.size()) < n; ++r) {
                Row cells;
                for (int c = 0; c < columns_; ++c) {
                    const std::size_t at = r * b.Fields + static_cast<std::size_t>(c);
                    if (b.Nulls[at])
                        cells.NullMask |= static_cast<std::uint8_t>(1u << c);
                    else
                        cells.Value[c] = b.Values[at];
                }
                page.push_back(cells);
            }
            return static_cast<int>(page.size()) < n;
        });
        rowsRead_ += static_cast<std::int64_t>(page.size());
        page_ = std::move(page);
        pageFirst_ = first;
    } catch (const std::exception&) {
        page_.clear();
        pageFirst_ = -1;
        return nullptr;
    }
    if (row - pageFirst_ >= static_cast<int>(page_.size())) return nullptr;
    return &page_[static_cast<std::size_t>(row - pageFirst_)];
}

bool ArchiveGridModel::IsFloatColumn(int column) const {
    return column >= 0 && column < columns_ && float_[static_cast<std::size_t>(column)];
}

QString ArchiveGridModel::CellText(int row, int column) const {
    if (column < 0 || column >= columns_) return {};
    const Row* r = Fetch(row);
    if (!r || (r->NullMask & (1u << column))) return {};
    const auto c = static_cast<std::size_t>(column);
    if (float_[c]) return FloatCellText(r->Value[c], decimals_[c], units_[c]);
    return DateTimeCellText(r->Value[c]);
}

QVariant ArchiveGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    switch (role) {
        case Qt::DisplayRole: return CellText(index.row(), index.column());
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(
                (IsFloatColumn(index.column()) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop));
        default: return {};
    }
}

QVariant ArchiveGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal) {
        if (section >= 0 && section < static_cast<int>(labels_.size())) return labels_[static_cast<std::size_t>(section)];
        return {};
    }
    // The row indicator: a mark at the current record.
    return section == current_ ? QStringLiteral("\u25B6") : QString();
}

// ---- the delegate ------------------------------------------------------------

void ArchiveGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
    // The cell is cleared (with the selection's colour when selected), then the
    // text drawn 4 pixels below the top edge: values right-aligned 2 pixels
    // from the right edge, everything else 2 pixels from the left.
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const bool selected = opt.state & QStyle::State_Selected;
    const QPalette::ColorGroup group = (opt.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    painter->save();
    painter->fillRect(opt.rect, selected ? opt.palette.brush(group, QPalette::Highlight)
                                         : opt.palette.brush(group, QPalette::Base));
    const auto* model = qobject_cast<const ArchiveGridModel*>(index.model());
    const QString text = model ? model->CellText(index.row(), index.column()) : index.data().toString();
    if (!text.isEmpty()) {
        painter->setFont(opt.font);
        painter->setPen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        const QFontMetrics fm(opt.font);
        const int width = fm.horizontalAdvance(text);
        const int x = (model && model->IsFloatColumn(index.column())) ? opt.rect.right() + 1 - width - 2
                                                                      : opt.rect.left() + 2;
        const int y = opt.rect.top() + 4 + fm.ascent();
        painter->setClipRect(opt.rect);
        painter->drawText(x, y, text);
    }
    if (opt.state & QStyle::State_HasFocus) {
        QPen pen(opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        pen.setStyle(Qt::DotLine);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(opt.rect.adjusted(0, 0, -1, -1));
    }
    painter->restore();
}

QSize ArchiveGridDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QFontMetrics fm(option.font);
    const auto* model = qobject_cast<const ArchiveGridModel*>(index.model());
    const QString text = model ? model->CellText(index.row(), index.column()) : index.data().toString();
    return QSize(fm.horizontalAdvance(text) + 6, fm.height() + 8);
}

}  // namespace kolvex::ui
