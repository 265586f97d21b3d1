#include "plate/wellchecklist.h"

#include "app/findingmarks.h"
#include "common/text.h"

#include <QBrush>
#include <QResizeEvent>
#include <QWheelEvent>

#include <cmath>
#include <map>

WellCheckList::WellCheckList(morvane::PlateFormat format, int itemHeight, QWidget* parent)
    : QListWidget(parent), m_cols(morvane::plateCols(format)), m_itemHeight(itemHeight)
{
    setViewMode(QListView::ListMode);
    setFlow(QListView::TopToBottom);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    for (const std::string& well : morvane::checkListItems(format)) {
        auto* item = new QListWidgetItem(QString::fromStdString(well), this);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    m_ticks.assign(std::size_t(count()), false);
    connect(this, &QListWidget::itemChanged, this, &WellCheckList::noteTickChange);
    updateGrid();
}

void WellCheckList::noteTickChange(QListWidgetItem* item)
{
    const auto index = std::size_t(row(item));
    const bool ticked = item->checkState() == Qt::Checked;
    if (index >= m_ticks.size() || m_ticks[index] == ticked)
        return;
    m_ticks[index] = ticked;
    if (m_batch)
        m_batchChanged = true;
    else
        emit ticksChanged();
}

std::vector<bool> WellCheckList::ticks() const
{
    std::vector<bool> result(static_cast<std::size_t>(count()));
    for (int i = 0; i < count(); ++i)
        result[static_cast<std::size_t>(i)] = item(i)->checkState() == Qt::Checked;
    return result;
}

bool WellCheckList::isTicked(int index) const
{
    return item(index)->checkState() == Qt::Checked;
}

void WellCheckList::setTicked(int index, bool ticked)
{
    const Qt::CheckState state = ticked ? Qt::Checked : Qt::Unchecked;
    if (item(index)->checkState() != state)
        item(index)->setCheckState(state);
}

void WellCheckList::setAllTicked(bool ticked)
{
    std::vector<int> all(static_cast<std::size_t>(count()));
    for (int i = 0; i < count(); ++i)
        all[std::size_t(i)] = i;
    setTicked(all, ticked);
}

void WellCheckList::setTicked(const std::vector<int>& indices, bool ticked)
{
    m_batch = true;
    m_batchChanged = false;
    for (int index : indices)
        setTicked(index, ticked);
    m_batch = false;
    if (m_batchChanged)
        emit ticksChanged();
}

void WellCheckList::wheelEvent(QWheelEvent* event)
{
    // The map shows the whole plate: there is nothing to scroll to.
    event->ignore();
}

void WellCheckList::scrollTo(const QModelIndex&, ScrollHint)
{
    // Every well is in view already (a map cut by a narrow window is said by a warning, not
    // scrolled): moving to a well must not shift the columns.
}

void WellCheckList::setFindings(const std::vector<morvane::WellFindings>& wells)
{
    std::map<std::string, const morvane::WellFindings*> byName;
    for (const morvane::WellFindings& well : wells)
        byName.emplace(morvane::foldAscii(well.well), &well);
    for (int i = 0; i < count(); ++i) {
        QListWidgetItem* well = item(i);
        const auto found = byName.find(morvane::foldAscii(well->text().toStdString()));
        if (found == byName.end()) {
            well->setBackground(QBrush());
            well->setToolTip(QString());
        } else {
            well->setBackground(findingColour());
            well->setToolTip(QString::fromStdString(found->second->note));
        }
    }
}

void WellCheckList::resizeEvent(QResizeEvent* event)
{
    QListWidget::resizeEvent(event);
    updateGrid();
}

void WellCheckList::updateGrid()
{
    // Each list column is the inner width divided by the plate's column count, rounded down so
    // that all of them fit and the map never scrolls a plate column away; each line is one item
    // high whatever the font, so the plate's rows fit exactly.
    const int width = std::max(1, viewport()->width() / m_cols);
    setGridSize(QSize(width, m_itemHeight));
}
