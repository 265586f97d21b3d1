#pragma once
// The dialogs' web-browser control. It never shows a page itself: its one job is to have the
// system's browser open an address in a new window. On screen it is an empty area.

#include <QWidget>

class UrlOpener;

class WebBrowser final : public QWidget {
    Q_OBJECT
public:
    explicit WebBrowser(UrlOpener& opener, QWidget* parent = nullptr);

    // Opens `address` in a new browser window; a refusal throws HandlerError, so the handler
    // that asked stops there and the error report shows it.
    void Navigate(const QString& address);

private:
    UrlOpener& m_opener;
};
