#pragma once
// How the window shows what the checks of a conversion found: one colour for flagged cells and
// wells, and per cell the notes of its findings.

#include "app/stringgrid.h"
#include "conversion/datachecks.h"

#include <QColor>

#include <vector>

// Light enough for the reading to stay legible.
inline QColor findingColour()
{
    return {255, 196, 120};
}

// The well names of controls (no template, no RT, ...) on the plate map: a blue apart from the
// samples' marks.
inline QColor controlColour()
{
    return {30, 80, 200};
}

// The mark of a negative control with a melt peak: a red that stands out among the samples'
// colours, as such a peak is what the user looks for in a control.
inline QColor controlPeakColour()
{
    return {220, 20, 20};
}

// The cells of the findings' table (rows and columns as the findings give them), a cell found
// by several with one note a line.
inline CellMarks findingMarks(const std::vector<morvane::Finding>& findings)
{
    CellMarks marks;
    for (const morvane::Finding& finding : findings) {
        QString& note = marks[{finding.row, finding.column()}];
        if (!note.isEmpty())
            note += QLatin1Char('\n');
        note += QString::fromStdString(morvane::cellNote(finding));
    }
    return marks;
}
