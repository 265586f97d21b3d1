#include "app/stringgrid.h"

#include "app/findingmarks.h"
#include "common/tablelayout.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QStyleOptionHeader>

#include <algorithm>

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

void GridModel::setGrid(morvane::Grid grid)
{
    beginResetModel();
    m_grid = std::move(grid);
    m_marks.clear();
    endResetModel();
}

void GridModel::setMarks(CellMarks marks)
{
    m_marks = std::move(marks);
    if (rowCount() > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::BackgroundRole, Qt::ToolTipRole});
}

int GridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(0, m_grid.rowCount() - rowOffset());
}

int GridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(0, m_grid.colCount() - colOffset());
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const int row = index.row() + rowOffset();
    const int col = index.column() + colOffset();
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(m_grid.cell(row, col));
    case Qt::BackgroundRole:
        if (m_marks.count({row, col}) != 0)
            return findingColour();
        if (row < m_grid.fixedRows() || col < m_grid.fixedCols())
            return QApplication::palette().button();
        return {};
    case Qt::ToolTipRole:
        if (const auto mark = m_marks.find({row, col}); mark != m_marks.end())
            return mark->second;
        return {};
    default:
        return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || section < 0)
        return {};
    if (orientation == Qt::Horizontal) {
        if (rowOffset() == 0 || section >= columnCount())
            return QString();
        return QString::fromStdString(m_grid.cell(0, section + colOffset()));
    }
    if (colOffset() == 0 || section >= rowCount())
        return QString();
    return QString::fromStdString(m_grid.cell(section + rowOffset(), 0));
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

StringGrid::StringGrid(morvane::Grid initial, QWidget* parent) : QTableView(parent), m_model(new GridModel(this))
{
    setModel(m_model);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setShowGrid(true);
    setWordWrap(false);
    // Tab leaves the table for the next control instead of walking its thousands of cells.
    setTabKeyNavigation(false);
    horizontalHeader()->setDefaultSectionSize(kReadingColumnWidth);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setHighlightSections(false);
    verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The top-left heading cell ("well") sits in the corner button, which draws no text itself.
    if (auto* corner = findChild<QAbstractButton*>())
        corner->installEventFilter(this);
    setGrid(std::move(initial));
}

void StringGrid::setGrid(morvane::Grid grid)
{
    m_model->setGrid(std::move(grid));
    syncHeaders();
    // The corner draws cell (0, 0), which the table does not repaint for it: a new table's empty
    // corner would go on showing the last one's "well".
    if (auto* corner = findChild<QAbstractButton*>())
        corner->update();
    // First the one width of the readings, which resets every column, then the sample names:
    // longer than a reading, they get their own room, within reason.
    fitReadings();
    if (m_model->columnCount() > 0 && m_model->rowCount() > 0) {
        resizeColumnToContents(0);
        setColumnWidth(0, std::clamp(columnWidth(0), kSampleColumnMinWidth, kSampleColumnMaxWidth));
    }
}

void StringGrid::fitReadings()
{
    // One width for every reading column, that of the longest reading: "41694.000" must not show
    // as "41694...". Only the longest texts are measured, so a full plate costs next to nothing.
    const auto& g = m_model->grid();
    std::size_t longest = 0;
    for (int row = 0; row < g.rowCount(); ++row)
        for (int col = morvane::kFirstReadingColumn; col < g.colCount(); ++col)
            longest = std::max(longest, g.cell(row, col).size());
    int width = kReadingColumnWidth;
    int measured = 0;
    for (int row = 0; row < g.rowCount() && longest > 0 && measured < kMeasuredTexts; ++row)
        for (int col = morvane::kFirstReadingColumn; col < g.colCount() && measured < kMeasuredTexts; ++col)
            if (g.cell(row, col).size() == longest && ++measured)
                width = std::max(width, fontMetrics().horizontalAdvance(QString::fromStdString(g.cell(row, col))) +
                                            kCellPadding);
    horizontalHeader()->setDefaultSectionSize(width);
}

void StringGrid::setColumnSizing(bool on)
{
    horizontalHeader()->setSectionResizeMode(on ? QHeaderView::Interactive : QHeaderView::Fixed);
}

void StringGrid::syncHeaders()
{
    const auto& g = m_model->grid();
    horizontalHeader()->setVisible(g.fixedRows() > 0);
    verticalHeader()->setVisible(g.fixedCols() > 0);
    verticalHeader()->setMinimumWidth(kRowHeaderMinWidth);
}

bool StringGrid::eventFilter(QObject* watched, QEvent* event)
{
    auto* corner = qobject_cast<QAbstractButton*>(watched);
    if (corner && event->type() == QEvent::Paint) {
        const auto& g = m_model->grid();
        QStyleOptionHeader option;
        option.initFrom(corner);
        option.rect = corner->rect();
        option.position = QStyleOptionHeader::OnlyOneSection;
        if (g.rowCount() > 0 && g.colCount() > 0 && g.fixedRows() > 0 && g.fixedCols() > 0)
            option.text = QString::fromStdString(g.cell(0, 0));
        option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
        QPainter painter(corner);
        corner->style()->drawControl(QStyle::CE_Header, &option, &painter, corner);
        return true;
    }
    return QTableView::eventFilter(watched, event);
}
