#include "dialogs/newversion.h"

#include <QLabel>
#include <QPlainTextEdit>

TNewVersionWarning::TNewVersionWarning(UrlOpener& opener, HandlerRunner run, QWidget* parent)
    : ProgramDialog(QStringLiteral("Updated version was detected"), QStringLiteral("Morvane"), QSize(557, 244),
                    std::move(run), parent)
{
    setObjectName(QStringLiteral("NewVersionWarning"));
    newversionlab = addCaptionedValue("Label1", QStringLiteral("Previous version:"), "newversionlab", 232, 50);
    addVersionLines(QStringLiteral("Current version:"), 232, 66);

    // A message to read (and copy), not to type into: Tab moves on to the buttons.
    auto* memo = new QPlainTextEdit(aboutPanel);
    memo->setObjectName(QStringLiteral("Memo1"));
    memo->setReadOnly(true);
    memo->setTabChangesFocus(true);
    memo->setFrameShape(QFrame::NoFrame);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memo->setGeometry(8, 112, 537, 89);
    memo->setPlainText(QStringLiteral("A new version of the Morvane program was installed on your computer \n"
                                      "since the last time you used the program. \n"
                                      "\n"
                                      "To see what has changed in this version, please visit the Morvane page \n"
                                      "on our website."));

    // Below the panel's visible area.
    addWebBrowser(opener, {216, 224, 116, 30});

    addVisitButton("VisitSiteButton", QStringLiteral("visit Morvane site"), {8, 5, 209, 27});
    addOkButton({479, 5});
}
