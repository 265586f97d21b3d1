#include "app/memoview.h"

#include "conversion/rawtext.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

namespace {
constexpr int kMargin = 3;
constexpr int kTabStop = 8;
constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine;

// Tabs to the next stop of eight characters, as a text editor shows them. (Qt's own tab
// expansion lets a field that ends right on a stop run into the next one.)
QString expandTabs(const QString& line)
{
    if (!line.contains(u'\t'))
        return line;
    QString out;
    out.reserve(line.size() + 32);
    for (QChar c : line) {
        if (c == u'\t')
            out.append(QString(kTabStop - out.size() % kTabStop, u' '));
        else
            out.append(c);
    }
    return out;
}
} // namespace

MemoView::MemoView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    // A fixed font with tab stops every eight characters lays the columns out as a text
    // editor does.
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setCursor(Qt::IBeamCursor);
}

MemoView::~MemoView() = default;

void MemoView::setText(std::shared_ptr<const morvane::RawText> text)
{
    m_text = std::move(text);
    m_anchor = m_cursor = -1;
    m_widest = 0;
    if (m_text && m_text->lineCount() > 0) {
        // Lines of one export differ little; the longest in bytes is close enough to the widest.
        std::size_t longest = 0;
        for (std::size_t i = 1; i < m_text->lineCount(); ++i)
            if (m_text->line(i).size() > m_text->line(longest).size())
                longest = i;
        for (std::size_t i : {std::size_t(0), longest})
            m_widest = std::max(m_widest, fontMetrics().horizontalAdvance(expandTabs(line(int(i)))));
    }
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
}

int MemoView::lineCount() const
{
    return m_text ? int(m_text->lineCount()) : 0;
}

QString MemoView::line(int index) const
{
    if (!m_text || index < 0 || index >= lineCount())
        return {};
    return QString::fromStdString(m_text->toUtf8(m_text->line(std::size_t(index))));
}

QString MemoView::toPlainText() const
{
    return m_text ? QString::fromStdString(m_text->allAsUtf8()) : QString();
}

void MemoView::selectAll()
{
    if (lineCount() == 0)
        return;
    m_anchor = 0;
    m_cursor = lineCount() - 1;
    viewport()->update();
}

QString MemoView::selectedText() const
{
    if (m_anchor < 0)
        return {};
    QString text;
    for (int i = std::min(m_anchor, m_cursor); i <= std::max(m_anchor, m_cursor); ++i)
        text += line(i) + u'\n';
    return text;
}

void MemoView::copy() const
{
    const QString text = selectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

int MemoView::firstVisibleLine() const
{
    return verticalScrollBar()->value();
}

int MemoView::lineHeight() const
{
    return fontMetrics().height();
}

int MemoView::lineAt(int y) const
{
    return firstVisibleLine() + std::max(0, y) / lineHeight();
}

void MemoView::updateScrollBars()
{
    const int visible = std::max(1, viewport()->height() / lineHeight());
    verticalScrollBar()->setRange(0, std::max(0, lineCount() - visible));
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setRange(0, std::max(0, m_widest + 2 * kMargin - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(fontMetrics().averageCharWidth() * 4);
}

void MemoView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    const int height = lineHeight();
    const int first = firstVisibleLine();
    const int last = std::min(lineCount() - 1, first + viewport()->height() / height + 1);
    const int x = kMargin - horizontalScrollBar()->value();
    const int lo = std::min(m_anchor, m_cursor);
    const int hi = std::max(m_anchor, m_cursor);
    for (int i = first; i <= last; ++i) {
        const QRect row(0, (i - first) * height, viewport()->width(), height);
        const bool selected = m_anchor >= 0 && i >= lo && i <= hi;
        if (selected)
            painter.fillRect(row, palette().highlight());
        painter.setPen(selected ? palette().highlightedText().color() : palette().text().color());
        painter.drawText(QRect(x, row.top(), std::max(m_widest, row.width()) + kMargin, height), kTextFlags,
                         expandTabs(line(i)));
    }
}

void MemoView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void MemoView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateScrollBars();
}

void MemoView::moveCursorTo(int line, bool extend)
{
    if (lineCount() == 0)
        return;
    m_cursor = std::clamp(line, 0, lineCount() - 1);
    if (!extend || m_anchor < 0)
        m_anchor = m_cursor;
    if (m_cursor < firstVisibleLine())
        verticalScrollBar()->setValue(m_cursor);
    else if (m_cursor >= firstVisibleLine() + verticalScrollBar()->pageStep())
        verticalScrollBar()->setValue(m_cursor - verticalScrollBar()->pageStep() + 1);
    viewport()->update();
}

void MemoView::keyPressEvent(QKeyEvent* event)
{
    if (event == QKeySequence::Copy) {
        copy();
        return;
    }
    if (event == QKeySequence::SelectAll) {
        selectAll();
        return;
    }
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const int current = m_cursor < 0 ? firstVisibleLine() - 1 : m_cursor;
    const int page = verticalScrollBar()->pageStep();
    switch (event->key()) {
    case Qt::Key_Up:
        moveCursorTo(current - 1, extend);
        return;
    case Qt::Key_Down:
        moveCursorTo(current + 1, extend);
        return;
    case Qt::Key_PageUp:
        moveCursorTo(current - page, extend);
        return;
    case Qt::Key_PageDown:
        moveCursorTo(current + page, extend);
        return;
    case Qt::Key_Home:
        if (event->modifiers() & Qt::ControlModifier)
            moveCursorTo(0, extend);
        else
            horizontalScrollBar()->setValue(0);
        return;
    case Qt::Key_End:
        if (event->modifiers() & Qt::ControlModifier)
            moveCursorTo(lineCount() - 1, extend);
        else
            horizontalScrollBar()->setValue(horizontalScrollBar()->maximum());
        return;
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void MemoView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        moveCursorTo(lineAt(event->position().toPoint().y()), event->modifiers() & Qt::ShiftModifier);
}

void MemoView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        moveCursorTo(lineAt(event->position().toPoint().y()), true);
}
