#include "app/pagecontrol.h"

#include <QTabBar>

namespace {

constexpr int kTabWidth = 350;

// Tabs of one fixed width, whatever their caption.
class FixedWidthTabBar final : public QTabBar {
public:
    explicit FixedWidthTabBar(QWidget* parent) : QTabBar(parent) {}

protected:
    QSize tabSizeHint(int index) const override { return {kTabWidth, QTabBar::tabSizeHint(index).height()}; }
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
};
} // namespace

PageControl::PageControl(QWidget* parent) : QTabWidget(parent)
{
    setTabBar(new FixedWidthTabBar(this));
    connect(this, &QTabWidget::currentChanged, this, &PageControl::onCurrentChanged);
}

void PageControl::setPage(int index)
{
    m_byProgram = true;
    setCurrentIndex(index);
    m_byProgram = false;
    m_page = currentIndex();
}

void PageControl::onCurrentChanged(int index)
{
    // QTabWidget reports a change only after it has happened, whichever way the user asked
    // for it; a refused change is put back at once, before anything is repainted.
    if (m_byProgram || m_page < 0 || index == m_page) {
        m_page = index;
        return;
    }
    bool allow = true;
    m_requested = index;
    if (m_guard)
        m_guard(allow);
    m_requested = -1;
    if (allow) {
        m_page = index;
        return;
    }
    m_byProgram = true;
    setCurrentIndex(m_page);
    m_byProgram = false;
}
