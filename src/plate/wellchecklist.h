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
    void setAllTicked(bool ticked);
    // Marks the wells the checks found something in (colour, and the findings as tooltip); the
    // marks of before are dropped. Wells the plate does not have are passed over.
    void setFindings(const std::vector<morvane::WellFindings>& wells);

    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void updateGrid();

    int m_cols;
    int m_itemHeight;
};
