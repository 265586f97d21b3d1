// Moving through the window: the start on page 1, the Next buttons, the guard on the user's own
// page changes (tabs, arrow keys, Ctrl+Tab; PageControl asks it), closing and the menu.

#include "app/pagecontrol.h"
#include "app/tform1.h"
#include "dialogs/about.h"
#include "dialogs/version.h"

#include <QLabel>
#include <QPushButton>

void TForm1::FormActivate(QObject* Sender)
{
    // An error here ends the activation: NextButton1 stays shown.
    CheckVersion(Sender);
    PageControl1->setPage(0);
    NextButton1->hide();
}

void TForm1::NextButton1Click(QObject*)
{
    PageControl1->setPage(1);
    NextButton2->hide();
}

void TForm1::NextButton2Click(QObject*)
{
    PageControl1->setPage(2);
    CloseButton->hide();
}

void TForm1::CloseButtonClick(QObject*)
{
    close();
}

void TForm1::eXit1Click(QObject*)
{
    close();
}

void TForm1::About1Click(QObject*)
{
    // A new dialog each time, released when it has closed.
    TAboutBox AboutBox(
        *m_urlOpener, [this](const std::function<void()>& handler) { run(handler); }, this);
    AboutBox.Versionlab->setText(morvane::VersionString);
    AboutBox.datelab->setText(morvane::ReleaseDateText);
    AboutBox.AddressToVisit = morvane::DownloadPageAddress;
    m_dialogs->exec(AboutBox);
}

void TForm1::PageControl1Changing(QObject*, bool& AllowChange)
{
    // Pages 2 and 3 need a plate size; page 1, where a file is opened, is always within reach.
    AllowChange = plateSizeIndex() != -1 || PageControl1->requestedPage() == 0;
}
