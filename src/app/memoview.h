#pragma once
// The read-only memo that shows the raw data file. It draws only the lines in view, straight
// from the loaded text, so a file of 80,000 lines shows at once instead of being copied into a
// text document first. Whole lines can be selected (mouse, Shift+arrows, Ctrl+A) and copied.

#include <QAbstractScrollArea>

#include <memory>

namespace morvane {
class RawText;
}

class MemoView final : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit MemoView(QWidget* parent = nullptr);
    ~MemoView() override;

    void setText(std::shared_ptr<const morvane::RawText> text);
    int lineCount() const;
    QString line(int index) const;
    // Every line, each ended by a line break.
    QString toPlainText() const;

    void selectAll();
    QString selectedText() const;
    void copy() const;
    int firstVisibleLine() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int lineHeight() const;
    int lineAt(int y) const;
    void updateScrollBars();
    void moveCursorTo(int line, bool extend);

    std::shared_ptr<const morvane::RawText> m_text;
    int m_widest = 0;  // pixel width of the longest line
    int m_anchor = -1; // selected lines: from m_anchor to m_cursor
    int m_cursor = -1;
};
