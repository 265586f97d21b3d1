#pragma once
// What the page builders make the window from. Every control carries the name the handlers and
// the tests find it by; the panels are plain frames that the pages lay out edge to edge.

#include <QFont>
#include <QMargins>
#include <QSize>
#include <QString>

class QBoxLayout;
class QComboBox;
class QFrame;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QWidget;
class StringGrid;

namespace controls {

// Every push button of the window is this high.
inline constexpr int kButtonHeight = 25;

constexpr QSize buttonSize(int width)
{
    return {width, kButtonHeight};
}

QFont pixelFont(int pixels, bool bold = false);

template <typename W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QFrame* panel(const char* name);
QFrame* fixedHeightPanel(const char* name, int height);
// Never the default button: Enter in an edit must not press it.
QPushButton* button(const char* name, const QString& text, QSize size);
// The "Next >" of pages 1 and 2.
QPushButton* nextButton(const char* name);
QLineEdit* edit(const char* name, const QString& text, int width);
QLabel* label(const char* name, const QString& text);
// Bold and red.
QLabel* warningLabel(const char* name, const QString& text, int pixels);
// What a curve plot shows: "Amplification" (item 0) or "Melt peaks" (item 1); off until a
// conversion finds melt peaks.
QComboBox* curveKindSwitch(const char* name);

// The table a string grid shows before it gets data.
struct GridShape {
    int rows;
    int cols;
    int fixedRows;
    int fixedCols;
};
StringGrid* stringGrid(const char* name, GridShape shape);

// The inside of a panel: the margins round its controls and the room between neighbours.
struct Padding {
    QMargins margins;
    int spacing;
};
QHBoxLayout* lineLayout(QWidget* owner, Padding padding);
// The spacing is between columns; the rows keep the style's.
QGridLayout* gridLayout(QWidget* owner, Padding padding);

// One part of a box: a widget or a nested layout.
struct Part {
    Part(QWidget* w) : widget(w) {}
    Part(QLayout* l) : layout(l) {}
    QWidget* widget = nullptr;
    QLayout* layout = nullptr;
};

// A page of the window: `head` over `rest`, as column() lays them out.
QWidget* page(const char* name, Part head, Part rest);

// `head` at its own size and `rest` taking the room left, edge to edge without spacing, top to
// bottom (column) or left to right (row). A null `owner` gives a layout to nest.
QBoxLayout* column(QWidget* owner, Part head, Part rest, QMargins margins = {});
QBoxLayout* row(QWidget* owner, Part head, Part rest, QMargins margins = {});

} // namespace controls
