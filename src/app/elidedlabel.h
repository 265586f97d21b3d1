#pragma once
// A label that never widens its window: a text longer than the room it has is cut in the middle
// ("/home/lab/.../run.xlsx"), so a long path does not push the controls beside it away.

#include <QLabel>
#include <QResizeEvent>

class ElidedLabel final : public QLabel {
public:
    explicit ElidedLabel(QWidget* parent = nullptr) : QLabel(parent)
    {
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        setMinimumWidth(1);
    }

    void setFullText(const QString& text)
    {
        m_full = text;
        elide();
    }
    const QString& fullText() const { return m_full; }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        elide();
    }

private:
    void elide() { setText(fontMetrics().elidedText(m_full, Qt::ElideMiddle, std::max(1, width()))); }

    QString m_full;
};
