#pragma once
// A plate map: a check list whose items flow top to bottom and then into the next list column,
// with one list column per plate column and one line per plate row. The items are fixed at
// construction, in check-list order (A1, B1, ..., then A2, ...), and never rebuilt. Row letters
// and column numbers stand in the margins left of and above the wells.

#include "conversion/datachecks.h"
#include "plate/curves.h"
#include "plate/plate.h"

#include <QListWidget>

#include <map>
#include <string>
#include <tuple>
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
    // What the well table holds, one curve per well that has a row: the sample and its first
    // and last reading as tooltip, a mark in the sample's colour. The other wells are drawn
    // disabled: a click cannot tick them, nor can setAllTicked or setTicked(indices). Null: no
    // table yet, every well enabled and plain.
    void setWellData(const std::vector<morvane::Curve>* wells);
    // Each well's melt peaks (the `peaks` of its melt peak curve) as a tooltip line; a well with
    // more than one peak gets a mark with a dark frame. Information only, not a finding. Null:
    // none. Call after setWellData, which sets the marks anew.
    void setMeltPeaks(const std::vector<morvane::Curve>* melt);
    // The negative controls with a melt peak and what it means ("NTC: peak at 70.9 °C, likely
    // primer dimers"), by well name: a line of their tooltip, a mark of the control-peak colour
    // and the name in bold in it. Empty: none. Call after setMeltPeaks.
    void setControlPeaks(const std::map<std::string, QString>& notes);
    bool hasData(int index) const;
    // What the plate layout says of each well, by check-list index (empty: nothing), added to
    // its tooltip; the wells of controls are drawn in italics in the control colour. Empty
    // vectors: no layout.
    void setLayoutNotes(const std::vector<QString>& notes, const std::vector<bool>& controls);

    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    // The column numbers, a line as wide as the map for the page to put above it; shown and
    // hidden with the map.
    QWidget* columnNumbers() const;
    void setVisible(bool visible) override;

signals:
    // A tick changed, by the user or by the program; a change of many wells says it once.
    void ticksChanged();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateGrid();
    void noteTickChange(QListWidgetItem* item);
    void updateToolTip(int index);
    const QIcon& mark(int colour, bool severalPeaks, bool controlPeak);
    void updateLook(int index);
    void paintRulers(QPainter& painter, bool rowLetters) const;

    std::vector<bool> m_ticks; // as last said, so a new colour or tooltip is no tick change
    bool m_batch = false;
    bool m_batchChanged = false;

    int m_cols;
    int m_itemHeight;
    class Ruler;
    Ruler* m_rowRuler;
    Ruler* m_colRuler;
    int m_rows;
    std::vector<QString> m_dataNotes;                     // per well: sample and readings
    std::vector<QString> m_findingNotes;                  // per well: what the checks found
    std::vector<QString> m_meltNotes;                     // per well: its melt peaks
    std::vector<std::size_t> m_peakCounts;                // per well: how many melt peaks it has
    std::vector<QString> m_controlPeakNotes;              // per well: what a control's melt peak means
    std::vector<QString> m_layoutNotes;                   // per well: what the layout says
    std::vector<bool> m_controls;                         // per well: a control, by the layout
    std::vector<int> m_colours;                           // per well: its sample's colour, -1 without data
    std::map<std::tuple<int, bool, bool>, QIcon> m_marks; // by sample colour, several peaks, control peak
};
