#include "app/controls.h"

#include "app/stringgrid.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace controls {

namespace {

void add(QBoxLayout* box, Part part, int stretch)
{
    if (part.widget)
        box->addWidget(part.widget, stretch);
    else
        box->addLayout(part.layout, stretch);
}

QBoxLayout* split(QBoxLayout* box, Part head, Part rest, QMargins margins)
{
    box->setContentsMargins(margins);
    box->setSpacing(0);
    add(box, head, 0);
    add(box, rest, 1);
    return box;
}

} // namespace

QFont pixelFont(int pixels, bool bold)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QFrame* panel(const char* name)
{
    auto* frame = named(new QFrame, name);
    frame->setFrameShape(QFrame::NoFrame);
    return frame;
}

QFrame* fixedHeightPanel(const char* name, int height)
{
    auto* frame = panel(name);
    frame->setFixedHeight(height);
    return frame;
}

QPushButton* button(const char* name, const QString& text, QSize size)
{
    auto* b = named(new QPushButton(text), name);
    b->setFixedSize(size);
    b->setAutoDefault(false);
    return b;
}

QPushButton* nextButton(const char* name)
{
    constexpr QSize kNextButtonSize = buttonSize(75);
    return button(name, QStringLiteral("Next >"), kNextButtonSize);
}

QLineEdit* edit(const char* name, const QString& text, int width)
{
    auto* e = named(new QLineEdit(text), name);
    e->setFixedWidth(width);
    e->home(false);
    return e;
}

QLabel* label(const char* name, const QString& text)
{
    return named(new QLabel(text), name);
}

QComboBox* curveKindSwitch(const char* name)
{
    auto* kind = named(new QComboBox, name);
    kind->addItems({QStringLiteral("Amplification"), QStringLiteral("Melt peaks")});
    kind->setEnabled(false);
    kind->setToolTip(QStringLiteral("Melt peaks: convert a run first"));
    return kind;
}

QLabel* warningLabel(const char* name, const QString& text, int pixels)
{
    auto* l = label(name, text);
    l->setFont(pixelFont(pixels, true));
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    l->setPalette(palette);
    return l;
}

StringGrid* stringGrid(const char* name, GridShape shape)
{
    return named(new StringGrid(morvane::Grid(shape.rows, shape.cols, shape.fixedRows, shape.fixedCols)), name);
}

QHBoxLayout* lineLayout(QWidget* owner, Padding padding)
{
    auto* line = new QHBoxLayout(owner);
    line->setContentsMargins(padding.margins);
    line->setSpacing(padding.spacing);
    return line;
}

QGridLayout* gridLayout(QWidget* owner, Padding padding)
{
    auto* grid = new QGridLayout(owner);
    grid->setContentsMargins(padding.margins);
    grid->setHorizontalSpacing(padding.spacing);
    return grid;
}

QWidget* page(const char* name, Part head, Part rest)
{
    auto* widget = named(new QWidget, name);
    column(widget, head, rest);
    return widget;
}

QBoxLayout* column(QWidget* owner, Part head, Part rest, QMargins margins)
{
    return split(new QVBoxLayout(owner), head, rest, margins);
}

QBoxLayout* row(QWidget* owner, Part head, Part rest, QMargins margins)
{
    return split(new QHBoxLayout(owner), head, rest, margins);
}

} // namespace controls
