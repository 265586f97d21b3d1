#pragma once
// A label that never widens its window: a text longer than the room it has is cut in the middle
// ("/home/lab/.../run.xlsx"), so a long path or name does not push the controls beside it away;
// the tooltip then holds the whole text. Where there is room it asks for its whole text.

#include <QLabel>
#include <QResizeEvent>

class ElidedLabel final : public QLabel {
public:
    explicit ElidedLabel(QWidget* parent = nullptr) : QLabel(parent)
    {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        setMinimumWidth(1);
    }

    void setFullText(const QString& text)
    {
        m_full = text;
        setMinimumWidth(std::max(1, std::min(m_kept, sizeHint().width())));
        elide();
        updateGeometry();
    }
    // A neighbour that wants more room cuts this label no shorter than `pixels` (1 at the start).
    void setWidthKept(int pixels) { m_kept = pixels; }
    const QString& fullText() const { return m_full; }

    // The whole text's size: the label's own, elided text would never let it grow back.
    QSize sizeHint() const override
    {
        const QMargins m = contentsMargins();
        return {fontMetrics().horizontalAdvance(m_full) + m.left() + m.right() + 2 * margin() + kRoundingRoom,
                QLabel::sizeHint().height()};
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        elide();
    }

private:
    void elide()
    {
        const QString shown = fontMetrics().elidedText(m_full, Qt::ElideMiddle, std::max(1, contentsRect().width()));
        setText(shown);
        setToolTip(shown == m_full ? QString() : m_full);
    }

    // elidedText may cut a text given exactly its advance.
    static constexpr int kRoundingRoom = 2;
    QString m_full;
    int m_kept = 1;
};
