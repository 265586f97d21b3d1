#pragma once
// A plate map: a check list whose items flow top to bottom and then into the next list column,
// with one list column per plate column and one line per plate row. The items are fixed at
// construction, in check-list order (A1, B1, ..., then A2, ...), and never rebuilt.

#include "conversion/datachecks.h"
#include "plate/plate.h"

#include <QListWidget>

#include <vector>

class WellCheckList final : public QListWidget {
    Q_OBJECT
public:
    WellCheckList(morvane::PlateFormat format, int itemHeight, QWidget* parent = nullptr);

    // Tick state by check-list index.
    std::vector<bool> ticks() const;
    bool isTicked(int index) const;
    void setTicked(int index, bool ticked);
    // Ticks or unticks many wells and says so once.
    void setAllTicked(bool ticked);
    void setTicked(const std::vector<int>& indices, bool ticked);
    // Marks the wells the checks found something in (colour, and the findings as tooltip); the
    // marks of before are dropped. Wells the plate does not have are passed over.
    void setFindings(const std::vector<morvane::WellFindings>& wells);

    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

signals:
    // A tick changed, by the user or by the program; a change of many wells says it once.
    void ticksChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void updateGrid();
    void noteTickChange(QListWidgetItem* item);

    std::vector<bool> m_ticks; // as last said, so a new colour or tooltip is no tick change
    bool m_batch = false;
    bool m_batchChanged = false;

    int m_cols;
    int m_itemHeight;
};
