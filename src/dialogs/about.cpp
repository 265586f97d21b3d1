#include "dialogs/about.h"

#include <QLabel>

TAboutBox::TAboutBox(UrlOpener& opener, HandlerRunner run, QWidget* parent)
    : ProgramDialog(QStringLiteral("About"), QStringLiteral("Conversion"), QSize(452, 308), std::move(run), parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    addLabel("ProductName", QStringLiteral("from LightCycler 480"), sansSerifFont(13, true), {kTextColumn, 43}, true);
    addLabel("Label9", QStringLiteral("to Quantivo"), sansSerifFont(13, true), {kTextColumn, 65});
    addVersionLines(QStringLiteral("Version:"), 176, 90);
    // The author.
    addLabel("Label1", QStringLiteral("Dr. Anneke Voorthuis"), font(), {6, 190});
    addLabel("Label2", QStringLiteral("Department of Molecular Cell Biology"), font(), {6, 207});
    addLabel("Label3", QStringLiteral("Fennwick Institute for Life Sciences"), font(), {6, 223});
    addLabel("Label4", QStringLiteral("Marlenburg, The Netherlands"), font(), {6, 239});
    // Shows only an empty area.
    addWebBrowser(opener, {264, 112, 172, 62});

    addOkButton({7, 5});
    addVisitButton("Button1", QStringLiteral("View Update History"), {176, 8, 201, 25});
}
