#pragma once
// A string grid: a morvane::Grid shown through model/view. The first fixed row and the first
// fixed column are the view's headers, so they stay in place while the table scrolls, as the
// headings of a string grid do; further fixed rows or columns show as shaded cells.

#include "common/grid.h"

#include <QAbstractTableModel>
#include <QString>
#include <QTableView>

#include <map>
#include <utility>

// Cells to draw attention to, by grid row and column, each with the note its tooltip shows.
using CellMarks = std::map<std::pair<int, int>, QString>;

class GridModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridModel(QObject* parent = nullptr);

    const morvane::Grid& grid() const { return m_grid; }
    // A new grid drops the marks of the old one.
    void setGrid(morvane::Grid grid);
    const CellMarks& marks() const { return m_marks; }
    void setMarks(CellMarks marks);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    int rowOffset() const { return m_grid.fixedRows() > 0 ? 1 : 0; }
    int colOffset() const { return m_grid.fixedCols() > 0 ? 1 : 0; }

    morvane::Grid m_grid;
    CellMarks m_marks;
};

class StringGrid final : public QTableView {
    Q_OBJECT
public:
    explicit StringGrid(morvane::Grid initial, QWidget* parent = nullptr);

    const morvane::Grid& grid() const { return m_model->grid(); }
    void setGrid(morvane::Grid grid);
    // Marked cells show a warning colour and their note as tooltip, until the next setGrid.
    void setMarks(CellMarks marks) { m_model->setMarks(std::move(marks)); }
    const CellMarks& marks() const { return m_model->marks(); }

    // Lets the user drag column widths (in the heading row).
    void setColumnSizing(bool on);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void syncHeaders();
    void fitReadings();

    static constexpr int kReadingColumnWidth = 64;
    static constexpr int kRowHeight = 20;
    // The sample names get room of their own, between these widths.
    static constexpr int kSampleColumnMinWidth = 64;
    static constexpr int kSampleColumnMaxWidth = 240;
    static constexpr int kRowHeaderMinWidth = 64; // wide enough for "P24" and "well"
    static constexpr int kCellPadding = 12;
    static constexpr int kMeasuredTexts = 64; // of the longest length: digits differ little in width

    GridModel* m_model;
};
