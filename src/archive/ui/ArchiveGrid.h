// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The viewer's grid over the open archive table: a model that reads the
// records by record number straight from the table engine (only the page of
// rows being drawn is held, never a copy of the table), and a delegate that
// draws the cells: values right-aligned as " %6.*f %s" with the descriptor's
// decimals and unit, date-times as "dd/mm/yyyy hh:nn:ss", empty fields empty.

#include <QAbstractTableModel>
#include <QStyledItemDelegate>

#include <cstdint>
#include <vector>

#include "archive/Adm.h"

namespace kolvex::ui {

class ArchiveGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ArchiveGridModel(kolvex::TADM& adm, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The table was opened, closed or emptied: rows, columns and labels anew.
    void Reset();
    // Records were added, changed or deleted: the row count anew, every cell
    // read again.
    void Refresh();
    // The current record's row (0-based, -1 when none); the row header marks it.
    void SetCurrentRow(int row);

    // The cell text of a field of a row, as the grid draws it ("" for an
    // empty field or when the table cannot be read now).
    QString CellText(int row, int column) const;
    bool IsFloatColumn(int column) const;

    // Rows read from the engine so far (for the benchmark and the tests).
    std::int64_t RowsRead() const { return rowsRead_; }

private:
    struct Row {
        double Value[4] = {0, 0, 0, 0};
        std::uint8_t NullMask = 0;
    };
    const Row* Fetch(int row) const;
    void ReadColumns();

    kolvex::TADM& adm_;
    int rows_ = 0;
    int columns_ = 0;
    std::vector<bool> float_;
    std::vector<int> decimals_;
    std::vector<std::string> units_;
    std::vector<QString> labels_;
    int current_ = -1;

    mutable std::vector<Row> page_;
    mutable int pageFirst_ = -1;
    mutable std::int64_t rowsRead_ = 0;
};

class ArchiveGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace kolvex::ui
