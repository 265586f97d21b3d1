#include "dialogs/webbrowser.h"

#include "dialogs/handlererror.h"
#include "dialogs/urlopener.h"

#include <QUrl>

WebBrowser::WebBrowser(UrlOpener& opener, QWidget* parent) : QWidget(parent), m_opener(opener)
{
    setFocusPolicy(Qt::NoFocus);
}

void WebBrowser::Navigate(const QString& address)
{
    if (!m_opener.open(QUrl(address)))
        throw HandlerError(QStringLiteral("The web browser could not open %1").arg(address));
}
