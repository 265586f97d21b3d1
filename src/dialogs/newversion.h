#pragma once
// TNewVersionWarning: the notice shown once when a version other than the one that ran last
// starts. The caller fills in the versions and the address, shows it and releases it.

#include "dialogs/programdialog.h"

class QPlainTextEdit;
class UrlOpener;
class WebBrowser;

class TNewVersionWarning final : public ProgramDialog {
    Q_OBJECT
public:
    TNewVersionWarning(UrlOpener& opener, HandlerRunner run, QWidget* parent = nullptr);

    void VisitSiteButtonClick(QObject* Sender);

    QFrame* aboutPanel = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* newversionlab = nullptr;
    QLabel* Version = nullptr;
    QLabel* Versionlab = nullptr;
    QLabel* datelab = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    WebBrowser* WebBrowser1 = nullptr;
    QPushButton* VisitSiteButton = nullptr;
    QPushButton* OKButton = nullptr;
    // The download page, set by the caller.
    QString AddressToVisit;
};
