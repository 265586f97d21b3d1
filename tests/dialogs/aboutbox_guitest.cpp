// Help > About: what the dialog shows, its way to the download page, and that each opening is
// a dialog of its own that leaves the window as it was.

#include "app/guitest.h"
#include "dialogs/about.h"
#include "dialogtest.h"

#include <QAction>
#include <QPointer>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>

class AboutBoxTest : public QObject {
    Q_OBJECT
private slots:
    void showsWhatItConvertsAndTheVersion();
    void updateHistoryOpensTheDownloadPageAndCloses();
    void refusedNavigationIsReportedAndTheDialogStays();
    void eachOpeningIsANewDialog();
    void closingReturnsToThePageWithoutAVersionCheck();
};

namespace {

const QString Address = QStringLiteral("https://www.fennwick.org/index.php?main=files&sub=Morvane");

void openAbout(const FormUnderTest& t)
{
    t.form->findChild<QAction*>("About1")->trigger();
}

} // namespace

void AboutBoxTest::showsWhatItConvertsAndTheVersion()
{
    auto t = makeForm();
    const auto check = [&](QDialog& d) {
        QVERIFY(qobject_cast<TAboutBox*>(&d));
        QCOMPARE(d.windowTitle(), QStringLiteral("About"));
        QVERIFY(captionOnly(d));
        QCOMPARE(d.size(), QSize(452, 308));
        QCOMPARE(labelText(d, "Label10"), QStringLiteral("Conversion"));
        QCOMPARE(labelText(d, "ProductName"), QStringLiteral("from LightCycler 480"));
        QCOMPARE(labelText(d, "Label9"), QStringLiteral("to Quantivo"));
        QCOMPARE(labelText(d, "Version"), QStringLiteral("Version:"));
        QCOMPARE(labelText(d, "Versionlab"), QStringLiteral("2014.1"));
        QCOMPARE(labelText(d, "datelab"), QStringLiteral("(December 2014)"));
        for (const char* author : {"Label1", "Label2", "Label3", "Label4"})
            QVERIFY2(!labelText(d, author).trimmed().isEmpty(), author);
        for (const char* name : {"Versionlab", "datelab"})
            QVERIFY2(shownWhole(d, name), name);
        QVERIFY(!d.findChild<QLabel*>("ProgramIcon")->pixmap().isNull());
        QCOMPARE(button(d, "OKButton")->text(), QStringLiteral("OK"));
        QCOMPARE(button(d, "Button1")->text(), QStringLiteral("View Update History"));
        QVERIFY(button(d, "OKButton")->isDefault());

        // Focus on OK at opening, so Enter closes it; Escape does not.
        QSignalSpy finished(&d, &QDialog::finished);
        showActive(d);
        QCOMPARE(QApplication::focusWidget(), button(d, "OKButton"));
        checkEscapeKeepsItOpen(d);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QVERIFY(!d.isVisible());
        QCOMPARE(finished.size(), 1);
    };
    t.dialogs->dialogNext([&](QDialog& d) {
        check(d);
        returnToOwner(d);
        return d.result();
    });
    openAbout(t);
    QCOMPARE(t.dialogs->dialogsShown(), 1);
    QCOMPARE(t.dialogs->unused(), 0);
    QVERIFY(t.opener->opened.isEmpty());
}

void AboutBoxTest::updateHistoryOpensTheDownloadPageAndCloses()
{
    auto t = makeForm();
    const auto visit = [&](QDialog& d) {
        QSignalSpy finished(&d, &QDialog::finished);
        showActive(d);
        button(d, "Button1")->click();
        QCOMPARE(t.opener->opened, QList<QUrl>{QUrl(Address)});
        QVERIFY(!d.isVisible());
        QCOMPARE(finished.size(), 1);
    };
    t.dialogs->dialogNext([&](QDialog& d) {
        visit(d);
        returnToOwner(d);
        return d.result();
    });
    openAbout(t);
    QCOMPARE(t.dialogs->dialogsShown(), 1);
    QCOMPARE(t.dialogs->shownTexts(), QStringList());
}

void AboutBoxTest::refusedNavigationIsReportedAndTheDialogStays()
{
    auto t = makeForm();
    t.opener->refuse = true;
    const auto refuseThenLeave = [&](QDialog& d) {
        QSignalSpy finished(&d, &QDialog::finished);
        showActive(d);
        button(d, "Button1")->click();
        QVERIFY(d.isVisible());
        QCOMPARE(finished.size(), 0);
        QCOMPARE(t.dialogs->shown().size(), 1);
        button(d, "OKButton")->click();
        QCOMPARE(finished.size(), 1);
    };
    t.dialogs->dialogNext([&](QDialog& d) {
        refuseThenLeave(d);
        returnToOwner(d);
        return d.result();
    });
    openAbout(t);

    QCOMPARE(t.opener->opened, QList<QUrl>{QUrl(Address)});
    QCOMPARE(t.dialogs->shown().size(), 1);
    const auto& report = t.dialogs->shown().front();
    QCOMPARE(report.icon, DialogService::Icon::Error);
    QCOMPARE(report.caption, programTitle());
    QCOMPARE(report.text, QStringLiteral("The web browser could not open ") + Address + ".");
}

void AboutBoxTest::eachOpeningIsANewDialog()
{
    auto t = makeForm();
    QPointer<QDialog> first;
    t.dialogs->dialogNext([&](QDialog& d) {
        first = &d;
        // Whatever the first one showed is gone with it.
        d.findChild<QLabel*>("Versionlab")->setText("changed");
        return int(QDialog::Accepted);
    });
    openAbout(t);
    QVERIFY(first.isNull());

    QString version;
    t.dialogs->dialogNext([&](QDialog& d) {
        version = labelText(d, "Versionlab");
        return int(QDialog::Accepted);
    });
    openAbout(t);
    QCOMPARE(version, QStringLiteral("2014.1"));
    QCOMPARE(t.dialogs->dialogsShown(), 2);
}

void AboutBoxTest::closingReturnsToThePageWithoutAVersionCheck()
{
    auto t = makeForm();
    t.get<QRadioButton>("PlateSize96")->click();
    t.get<QTabWidget>("PageControl1")->setCurrentIndex(1);
    t.get<QPushButton>("NextButton1")->show();
    // A check now would find another version and show the notice.
    QSettings(t.settingsFile, QSettings::IniFormat).setValue("version", "2013.1");

    const auto closeIt = [&](QDialog& d) {
        showActive(d);
        button(d, "OKButton")->click();
    };
    t.dialogs->dialogNext([&](QDialog& d) {
        closeIt(d);
        returnToOwner(d);
        return d.result();
    });
    openAbout(t);
    QVERIFY(QTest::qWaitFor([&] { return QApplication::activeWindow() == t.form.get(); }));

    QCOMPARE(t.dialogs->dialogsShown(), 1);
    QCOMPARE(t.currentPage(), 1);
    QVERIFY(!t.get<QPushButton>("NextButton1")->isHidden());
    QCOMPARE(t.storedVersion(), QVariant("2013.1"));
}

QTEST_MAIN(AboutBoxTest)
#include "aboutbox_guitest.moc"
