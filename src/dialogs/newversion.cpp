#include "dialogs/newversion.h"

#include "dialogs/webbrowser.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

TNewVersionWarning::TNewVersionWarning(UrlOpener& opener, HandlerRunner run, QWidget* parent)
    : ProgramDialog(QStringLiteral("Updated version was detected"), QSize(557, 244), 37, std::move(run), parent)
{
    setObjectName(QStringLiteral("NewVersionWarning"));
    aboutPanel = m_panel;
    ProgramIcon = addProgramIcon();
    Label10 = addLabel("Label10", QStringLiteral("Morvane"), systemFont(33), {126, 8});
    Label1 = addLabel("Label1", QStringLiteral("Previous version:"), sansSerifFont(11, true), {126, 50}, true);
    newversionlab = addLabel("newversionlab", QStringLiteral("x.x"), systemFont(11), {232, 49});
    Version = addLabel("Version", QStringLiteral("Current version:"), sansSerifFont(11, true), {126, 66}, true);
    Versionlab = addLabel("Versionlab", QStringLiteral("x.x"), systemFont(11), {232, 65});
    datelab = addLabel("datelab", QStringLiteral("(mnth year)"), systemFont(11), {125, 81});

    // Whatever the user types here is not used.
    Memo1 = new QPlainTextEdit(aboutPanel);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setFrameShape(QFrame::NoFrame);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setGeometry(8, 112, 537, 89);
    Memo1->setPlainText(QStringLiteral("A new version of the Morvane program was installed on your computer \n"
                                       "since the last time you used the program. \n"
                                       "\n"
                                       "To see what has changed in this version, please visit the Morvane page \n"
                                       "on our website."));

    // Below the panel's visible area: only its Navigate is used.
    WebBrowser1 = new WebBrowser(opener, aboutPanel);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setGeometry(216, 224, 116, 30);

    VisitSiteButton = new QPushButton(QStringLiteral("visit Morvane site"), m_strip);
    VisitSiteButton->setObjectName(QStringLiteral("VisitSiteButton"));
    VisitSiteButton->setGeometry(8, 5, 209, 27);
    connect(VisitSiteButton, &QPushButton::clicked, this,
            [this] { runHandler([this] { VisitSiteButtonClick(VisitSiteButton); }); });

    OKButton = addOkButton({479, 5});
}

void TNewVersionWarning::VisitSiteButtonClick(QObject*)
{
    WebBrowser1->Navigate(AddressToVisit);
    reject();
}
