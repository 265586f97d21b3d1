#pragma once
// TAboutBox: Help > About. What the program converts, its version and date, the author, and a
// way to the download page with the update history. The caller fills in the version, the date
// and the address.

#include "dialogs/programdialog.h"

class UrlOpener;
class WebBrowser;

class TAboutBox final : public ProgramDialog {
    Q_OBJECT
public:
    TAboutBox(UrlOpener& opener, HandlerRunner run, QWidget* parent = nullptr);

    void Button1Click(QObject* Sender);

    QFrame* aboutPanel = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Version = nullptr;
    QLabel* Versionlab = nullptr;
    QLabel* datelab = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    WebBrowser* WebBrowser1 = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* Button1 = nullptr;
    // The download page, set by the caller.
    QString AddressToVisit;
};
