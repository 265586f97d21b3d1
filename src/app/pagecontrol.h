#pragma once
// A tab widget whose every user-made change of page (tab click, arrow keys on the tab row,
// Ctrl+Tab, Ctrl+Shift+Tab, the mouse wheel) first asks a guard; a refused change leaves the
// current page in place. Changes made by the program with setPage always go through.

#include <QTabWidget>

#include <functional>

class PageControl final : public QTabWidget {
    Q_OBJECT
public:
    explicit PageControl(QWidget* parent = nullptr);

    // The guard sets allowChange; it is asked before a user change takes effect.
    void setChangingGuard(std::function<void(bool& allowChange)> guard) { m_guard = std::move(guard); }
    void setPage(int index);
    // While the guard is asked: the page the user asks for.
    int requestedPage() const { return m_requested; }

private:
    void onCurrentChanged(int index);

    std::function<void(bool&)> m_guard;
    int m_page = -1;
    int m_requested = -1;
    bool m_byProgram = false;
};
