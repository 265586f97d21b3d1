#include "app/wellchecklist.h"

#include "app/findingmarks.h"
#include "app/samplecolours.h"
#include "common/text.h"

#include <QBrush>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProxyStyle>
#include <QResizeEvent>
#include <QStringList>
#include <QWheelEvent>

#include <cmath>
#include <map>

namespace {

// The sample's colour mark beside a well's box.
constexpr QSize kMarkSize{7, 7};
// In the narrow cells of a 384-well map, a thin bar, so the well's name keeps its room.
constexpr QSize kNarrowMarkSize{3, 9};
constexpr int kNarrowCellHeight = 14;

// With `framed`, a dark frame says the well has more than one melt peak; a control with a melt
// peak is filled with the control-peak colour instead of its sample's, which tells little.
QIcon markIcon(int colour, QSize size, bool framed, bool controlPeak)
{
    QPixmap mark(size);
    mark.fill(controlPeak ? controlPeakColour() : sampleColour(colour));
    if (framed) {
        QPainter painter(&mark);
        painter.setPen(Qt::black);
        painter.drawRect(0, 0, size.width() - 1, size.height() - 1);
    }
    return QIcon(mark);
}

// The style's room round the box, the mark and the name of a cell, less of it: the narrow cells
// of a 384-well map then show "D10" whole rather than "D1".
class CompactCells final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        return metric == PM_FocusFrameHMargin ? 0 : QProxyStyle::pixelMetric(metric, option, widget);
    }
};

QString reading(double value)
{
    return QString::number(value, 'g', 8);
}

// The curves by well name, in any letter case; none for no curves.
std::map<std::string, const morvane::Curve*> curvesByWell(const std::vector<morvane::Curve>* curves)
{
    std::map<std::string, const morvane::Curve*> byName;
    if (curves)
        for (const morvane::Curve& curve : *curves)
            byName.emplace(morvane::foldAscii(curve.well), &curve);
    return byName;
}

} // namespace

// The row letters or column numbers beside the wells; the list lays them out.
class WellCheckList::Ruler final : public QWidget {
public:
    Ruler(const WellCheckList* list, bool rowLetters, QWidget* parent)
        : QWidget(parent), m_list(list), m_rowLetters(rowLetters)
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (!m_list)
            return;
        QPainter painter(this);
        m_list->paintRulers(painter, m_rowLetters);
    }

private:
    // The column numbers start as the list's child (so they are never left without an owner) and
    // move into the page when it lays them out, beside the list.
    QPointer<const WellCheckList> m_list;
    bool m_rowLetters;
};

WellCheckList::WellCheckList(morvane::PlateFormat format, int itemHeight, QWidget* parent)
    : QListWidget(parent), m_cols(morvane::plateCols(format)), m_itemHeight(itemHeight),
      m_rowRuler(new Ruler(this, true, this)), m_colRuler(new Ruler(this, false, this)),
      m_rows(morvane::plateRows(format))
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
    m_dataNotes.resize(std::size_t(count()));
    m_findingNotes.resize(std::size_t(count()));
    m_meltNotes.resize(std::size_t(count()));
    m_peakCounts.assign(std::size_t(count()), 0);
    m_controlPeakNotes.resize(std::size_t(count()));
    m_controls.assign(std::size_t(count()), false);
    m_colours.assign(std::size_t(count()), -1);
    m_layoutNotes.resize(std::size_t(count()));
    const bool narrow = itemHeight < kNarrowCellHeight;
    setIconSize(narrow ? kNarrowMarkSize : kMarkSize);
    if (narrow) {
        auto* compact = new CompactCells;
        compact->setParent(this);
        setStyle(compact);
    }
    // A name cut to "..." says nothing; cut short, "P2" of P24 still does.
    setTextElideMode(Qt::ElideNone);
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
        if (!ticked || hasData(index))
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
        const bool marked = found != byName.end();
        well->setBackground(marked ? QBrush(findingColour()) : QBrush());
        m_findingNotes[std::size_t(i)] = marked ? QString::fromStdString(found->second->note) : QString();
        updateToolTip(i);
    }
}

void WellCheckList::setWellData(const std::vector<morvane::Curve>* wells)
{
    const std::map<std::string, const morvane::Curve*> byName = curvesByWell(wells);
    for (int i = 0; i < count(); ++i) {
        QListWidgetItem* well = item(i);
        const auto found = byName.find(morvane::foldAscii(well->text().toStdString()));
        const bool data = !wells || found != byName.end();
        const Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
        well->setFlags(data ? flags | Qt::ItemIsEnabled : flags);
        QString& note = m_dataNotes[std::size_t(i)];
        m_colours[std::size_t(i)] = -1;
        // The marks of melt peaks are set anew after the data.
        m_peakCounts[std::size_t(i)] = 0;
        m_controlPeakNotes[std::size_t(i)].clear();
        if (!wells)
            note.clear();
        else if (found == byName.end())
            note = QStringLiteral("%1: no data").arg(well->text());
        else {
            m_colours[std::size_t(i)] = found->second->colour;
            const morvane::Curve& curve = *found->second;
            note = QStringLiteral("%1: %2").arg(well->text(), QString::fromStdString(curve.sample));
            if (!curve.readings.empty())
                note += QStringLiteral("\nreadings %1 (cycle %2) to %3 (cycle %4)")
                            .arg(reading(curve.readings.front()), reading(curve.cycles.front()),
                                 reading(curve.readings.back()), reading(curve.cycles.back()));
        }
        updateLook(i);
        updateToolTip(i);
    }
}

const QIcon& WellCheckList::mark(int colour, bool severalPeaks, bool controlPeak)
{
    auto [found, added] = m_marks.try_emplace({colour, severalPeaks, controlPeak});
    if (added)
        found->second = markIcon(colour, iconSize(), severalPeaks, controlPeak);
    return found->second;
}

void WellCheckList::updateLook(int index)
{
    const auto at = std::size_t(index);
    // A control's name is in italics; one with a melt peak in bold and the control-peak colour,
    // which a 3-pixel mark alone does not make stand out among the samples' colours.
    const bool controlPeak = !m_controlPeakNotes[at].isEmpty();
    QFont font = item(index)->font();
    font.setItalic(m_controls[at]);
    font.setBold(controlPeak);
    item(index)->setFont(font);
    item(index)->setForeground(controlPeak      ? QBrush(controlPeakColour())
                               : m_controls[at] ? QBrush(controlColour())
                                                : QBrush());
    const int colour = m_colours[at];
    item(index)->setIcon(colour < 0 ? QIcon() : mark(colour, m_peakCounts[at] > 1, controlPeak));
}

void WellCheckList::setMeltPeaks(const std::vector<morvane::Curve>* melt)
{
    const std::map<std::string, const morvane::Curve*> byName = curvesByWell(melt);
    for (int i = 0; i < count(); ++i) {
        const auto found = byName.find(morvane::foldAscii(item(i)->text().toStdString()));
        QString& note = m_meltNotes[std::size_t(i)];
        note.clear();
        const std::size_t peaks = found == byName.end() ? 0 : found->second->peaks.size();
        if (found != byName.end()) {
            QStringList tms;
            for (double tm : found->second->peaks)
                tms << QStringLiteral("%1 °C").arg(tm, 0, 'f', 2);
            note = peaks == 0   ? QStringLiteral("no melt peak")
                   : peaks == 1 ? QStringLiteral("Tm %1").arg(tms.front())
                                : QStringLiteral("%1 melt peaks: Tm %2").arg(peaks).arg(tms.join(QStringLiteral(", ")));
        }
        m_peakCounts[std::size_t(i)] = peaks;
        updateLook(i);
        updateToolTip(i);
    }
}

void WellCheckList::setControlPeaks(const std::map<std::string, QString>& notes)
{
    for (int i = 0; i < count(); ++i) {
        const auto found = notes.find(morvane::foldAscii(item(i)->text().toStdString()));
        m_controlPeakNotes[std::size_t(i)] = found == notes.end() ? QString() : found->second;
        updateLook(i);
        updateToolTip(i);
    }
}

bool WellCheckList::hasData(int index) const
{
    return item(index)->flags().testFlag(Qt::ItemIsEnabled);
}

void WellCheckList::setLayoutNotes(const std::vector<QString>& notes, const std::vector<bool>& controls)
{
    for (int i = 0; i < count(); ++i) {
        const auto at = std::size_t(i);
        m_layoutNotes[at] = at < notes.size() ? notes[at] : QString();
        m_controls[at] = at < controls.size() && controls[at];
        updateLook(i);
        updateToolTip(i);
    }
}

void WellCheckList::updateToolTip(int index)
{
    QStringList lines;
    for (const QString* note :
         {&m_dataNotes[std::size_t(index)], &m_layoutNotes[std::size_t(index)], &m_meltNotes[std::size_t(index)],
          &m_controlPeakNotes[std::size_t(index)], &m_findingNotes[std::size_t(index)]})
        if (!note->isEmpty())
            lines << *note;
    item(index)->setToolTip(lines.join(QLatin1Char('\n')));
}

void WellCheckList::paintRulers(QPainter& painter, bool rowLetters) const
{
    painter.setPen(palette().color(QPalette::WindowText));
    const int colWidth = gridSize().width();
    if (rowLetters) {
        for (int row = 0; row < m_rows; ++row)
            painter.drawText(QRect(0, row * m_itemHeight, m_rowRuler->width(), m_itemHeight), Qt::AlignCenter,
                             QString(QChar(u'A' + row)));
    } else {
        const int left = frameWidth() + viewportMargins().left();
        for (int col = 0; col < m_cols; ++col)
            painter.drawText(QRect(left + col * colWidth, 0, colWidth, m_colRuler->height()), Qt::AlignCenter,
                             QString::number(col + 1));
    }
}

QWidget* WellCheckList::columnNumbers() const
{
    return m_colRuler;
}

void WellCheckList::setVisible(bool visible)
{
    QListWidget::setVisible(visible);
    m_colRuler->setVisible(visible);
}

void WellCheckList::changeEvent(QEvent* event)
{
    QListWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_colRuler->setFont(font());
        updateGrid();
    }
}

void WellCheckList::resizeEvent(QResizeEvent* event)
{
    QListWidget::resizeEvent(event);
    updateGrid();
}

void WellCheckList::updateGrid()
{
    // The row letters take a letter's width left of the wells; the column numbers are a line
    // of their own above the map, laid out by the page.
    const int frame = frameWidth();
    const int left = fontMetrics().horizontalAdvance(QLatin1Char('M')) + 4;
    if (viewportMargins() != QMargins(left, 0, 0, 0)) {
        setViewportMargins(left, 0, 0, 0);
        // The list lays its items out again when it is resized, not when its viewport is.
        scheduleDelayedItemsLayout();
    }
    m_rowRuler->setGeometry(frame, frame, left, viewport()->height());
    m_colRuler->setFixedSize(this->width(), fontMetrics().height());
    m_colRuler->update();

    // Each list column is the inner width divided by the plate's column count, rounded down so
    // that all of them fit and the map never scrolls a plate column away; each line is one item
    // high whatever the font, so the plate's rows fit exactly.
    const int width = std::max(1, viewport()->width() / m_cols);
    setGridSize(QSize(width, m_itemHeight));
}
