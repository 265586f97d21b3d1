#include "dialogs/about.h"

#include "dialogs/webbrowser.h"

#include <QLabel>
#include <QPushButton>

TAboutBox::TAboutBox(UrlOpener& opener, HandlerRunner run, QWidget* parent)
    : ProgramDialog(QStringLiteral("About"), QSize(452, 308), 37, std::move(run), parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    aboutPanel = m_panel;
    ProgramIcon = addProgramIcon();
    Label10 = addLabel("Label10", QStringLiteral("Conversion"), systemFont(33), {126, 8});
    ProductName =
        addLabel("ProductName", QStringLiteral("from LightCycler 480"), sansSerifFont(13, true), {126, 43}, true);
    Label9 = addLabel("Label9", QStringLiteral("to Quantivo"), sansSerifFont(13, true), {126, 65});
    Version = addLabel("Version", QStringLiteral("Version:"), sansSerifFont(11, true), {126, 90}, true);
    Versionlab = addLabel("Versionlab", QStringLiteral("x.x"), systemFont(11), {176, 89});
    datelab = addLabel("datelab", QStringLiteral("(mnth year)"), systemFont(11), {125, 105});
    Label1 = addLabel("Label1", QStringLiteral("Dr. Anneke Voorthuis"), font(), {6, 190});
    Label2 = addLabel("Label2", QStringLiteral("Department of Molecular Cell Biology"), font(), {6, 207});
    Label3 = addLabel("Label3", QStringLiteral("Fennwick Institute for Life Sciences"), font(), {6, 223});
    Label4 = addLabel("Label4", QStringLiteral("Marlenburg, The Netherlands"), font(), {6, 239});

    // Shows only an empty area; only its Navigate is used.
    WebBrowser1 = new WebBrowser(opener, aboutPanel);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    WebBrowser1->setGeometry(264, 112, 172, 62);

    OKButton = addOkButton({7, 5});
    Button1 = new QPushButton(QStringLiteral("View Update History"), m_strip);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(176, 8, 201, 25);
    connect(Button1, &QPushButton::clicked, this, [this] { runHandler([this] { Button1Click(Button1); }); });
}

void TAboutBox::Button1Click(QObject*)
{
    WebBrowser1->Navigate(AddressToVisit);
    reject();
}
