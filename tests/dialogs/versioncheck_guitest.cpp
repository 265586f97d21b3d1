// The version check at the window's first activation: when the new-version notice shows, what
// it says, how it is left, and what is stored afterwards.

#include "app/guitest.h"
#include "dialogs/newversion.h"
#include "dialogtest.h"

#include <QPlainTextEdit>
#include <QSignalSpy>

class VersionCheckTest : public QObject {
    Q_OBJECT
private slots:
    void noticeWhenTheStoredVersionDiffers_data();
    void noticeWhenTheStoredVersionDiffers();
    void bothWaysOutStoreTheVersion_data();
    void bothWaysOutStoreTheVersion();
    void refusedNavigationIsReportedAndTheNoticeStays();
    void valueOfAnotherTypeEndsTheActivation_data();
    void valueOfAnotherTypeEndsTheActivation();
    void unreadableStoreIsReportedAndKept();
    void storeThatCannotBeOpenedIsPassedOverSilently();
};

namespace {

const QString Address = QStringLiteral("https://www.fennwick.org/index.php?main=files&sub=Morvane");

// Fills the store with `stored`, or leaves it empty when `stored` is invalid.
std::function<void(QSettings&)> storing(const QVariant& stored)
{
    return [stored](QSettings& s) {
        if (stored.isValid())
            s.setValue(QStringLiteral("version"), stored);
    };
}

FormUnderTest notStarted(const QVariant& stored)
{
    FormSetup setup;
    setup.activate = false;
    setup.settings = storing(stored);
    return makeForm(std::move(setup));
}

void checkNoticeReads(const QDialog& notice, const QString& previous)
{
    QVERIFY(qobject_cast<const TNewVersionWarning*>(&notice));
    QCOMPARE(notice.windowTitle(), QStringLiteral("Updated version was detected"));
    QVERIFY(captionOnly(notice));
    QCOMPARE(notice.size(), QSize(557, 244));
    QCOMPARE(labelText(notice, "Label10"), QStringLiteral("Morvane"));
    QCOMPARE(labelText(notice, "Label1"), QStringLiteral("Previous version:"));
    QCOMPARE(labelText(notice, "newversionlab"), previous);
    QCOMPARE(labelText(notice, "Version"), QStringLiteral("Current version:"));
    QCOMPARE(labelText(notice, "Versionlab"), QStringLiteral("2014.1"));
    QCOMPARE(labelText(notice, "datelab"), QStringLiteral("(December 2014)"));
    for (const char* name : {"newversionlab", "Versionlab", "datelab"})
        QVERIFY2(shownWhole(notice, name), name);
    QVERIFY(!notice.findChild<QLabel*>("ProgramIcon")->pixmap().isNull());
    QCOMPARE(notice.findChild<QPlainTextEdit*>("Memo1")->toPlainText(),
             QStringLiteral("A new version of the Morvane program was installed on your computer \n"
                            "since the last time you used the program. \n"
                            "\n"
                            "To see what has changed in this version, please visit the Morvane page \n"
                            "on our website."));
    QCOMPARE(button(notice, "VisitSiteButton")->text(), QStringLiteral("visit Morvane site"));
    QCOMPARE(button(notice, "OKButton")->text(), QStringLiteral("OK"));
    QVERIFY(button(notice, "OKButton")->isDefault());
}

} // namespace

void VersionCheckTest::noticeWhenTheStoredVersionDiffers_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("notice");
    QTest::addColumn<QString>("previous");
    QTest::newRow("no value yet") << QVariant() << true << "";
    QTest::newRow("empty text, as if missing") << QVariant("") << true << "";
    QTest::newRow("an older version") << QVariant("2013.1") << true << "2013.1";
    QTest::newRow("a trailing blank") << QVariant("2014.1 ") << true << "2014.1 ";
    QTest::newRow("one more digit") << QVariant("2014.10") << true << "2014.10";
    QTest::newRow("a newer version") << QVariant("2015.2") << true << "2015.2";
    QTest::newRow("the running version") << QVariant("2014.1") << false << "";
}

void VersionCheckTest::noticeWhenTheStoredVersionDiffers()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, notice);
    QFETCH(QString, previous);
    auto t = notStarted(stored);
    const auto whileOpen = [&](QDialog& d) {
        checkNoticeReads(d, previous);
        // The value is written only once the notice has closed; the window behind it shows
        // page 1 already.
        QCOMPARE(t.storedVersion(), stored);
        QCOMPARE(t.currentPage(), 0);
    };
    if (notice) {
        t.dialogs->dialogNext([&](QDialog& d) {
            whileOpen(d);
            return int(QDialog::Accepted);
        });
    }
    t.activate();

    QCOMPARE(t.dialogs->dialogsShown(), notice ? 1 : 0);
    QCOMPARE(t.dialogs->unused(), 0);
    QCOMPARE(t.dialogs->shownTexts(), QStringList());
    QCOMPARE(t.storedVersion(), QVariant("2014.1"));
    QCOMPARE(t.currentPage(), 0);
    QVERIFY(t.get<QPushButton>("NextButton1")->isHidden());
    QVERIFY(t.opener->opened.isEmpty());

    // The next start of the same version finds it stored.
    FormSetup again;
    again.settingsFile = t.settingsFile;
    auto next = makeForm(std::move(again));
    QCOMPARE(next.dialogs->dialogsShown(), 0);
    QCOMPARE(next.storedVersion(), QVariant("2014.1"));
}

void VersionCheckTest::bothWaysOutStoreTheVersion_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("result");
    QTest::newRow("Enter") << "enter" << int(QDialog::Accepted);
    QTest::newRow("OK button") << "ok" << int(QDialog::Accepted);
    QTest::newRow("visit button") << "visit" << int(QDialog::Rejected);
}

void VersionCheckTest::bothWaysOutStoreTheVersion()
{
    QFETCH(QString, way);
    QFETCH(int, result);
    auto t = notStarted("2013.1");
    const auto leave = [&](QDialog& d) {
        QSignalSpy finished(&d, &QDialog::finished);
        if (!showActive(d))
            qWarning("the notice was not activated");
        QCOMPARE(QApplication::focusWidget(), button(d, "OKButton"));
        // The message is to read: nothing can be typed into it, and Tab moves on.
        auto* memo = d.findChild<QPlainTextEdit*>("Memo1");
        const QString message = memo->toPlainText();
        memo->setFocus();
        QTest::keyClicks(memo, "typed");
        QTest::keyClick(memo, Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != memo);
        QCOMPARE(memo->toPlainText(), message);
        button(d, "OKButton")->setFocus();
        checkEscapeKeepsItOpen(d);
        if (way == "enter")
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        else if (way == "ok")
            button(d, "OKButton")->click();
        else
            button(d, "VisitSiteButton")->click();
        QVERIFY(!d.isVisible());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.front().front().toInt(), result);
    };
    t.dialogs->dialogNext([&](QDialog& d) {
        leave(d);
        returnToOwner(d);
        return d.result();
    });
    t.activate();

    QCOMPARE(t.dialogs->dialogsShown(), 1);
    QCOMPARE(t.storedVersion(), QVariant("2014.1"));
    QCOMPARE(t.currentPage(), 0);
    QCOMPARE(t.dialogs->shownTexts(), QStringList());
    if (way == "visit")
        QCOMPARE(t.opener->opened, QList<QUrl>{QUrl(Address)});
    else
        QVERIFY(t.opener->opened.isEmpty());
}

void VersionCheckTest::refusedNavigationIsReportedAndTheNoticeStays()
{
    auto t = notStarted("2013.1");
    t.opener->refuse = true;
    const auto refuseThenLeave = [&](QDialog& d) {
        QSignalSpy finished(&d, &QDialog::finished);
        showActive(d);
        button(d, "VisitSiteButton")->click();
        QVERIFY(d.isVisible());
        QCOMPARE(finished.size(), 0);
        QCOMPARE(t.dialogs->shown().size(), 1);
        QCOMPARE(t.storedVersion(), QVariant("2013.1"));
        button(d, "OKButton")->click();
    };
    t.dialogs->dialogNext([&](QDialog& d) {
        refuseThenLeave(d);
        returnToOwner(d);
        return d.result();
    });
    t.activate();

    QCOMPARE(t.opener->opened, QList<QUrl>{QUrl(Address)});
    QCOMPARE(t.dialogs->shown().size(), 1);
    const auto& report = t.dialogs->shown().front();
    QCOMPARE(report.icon, DialogService::Icon::Error);
    QCOMPARE(report.caption, programTitle());
    QCOMPARE(report.buttons, DialogService::Buttons::Ok);
    QCOMPARE(report.text, QStringLiteral("The web browser could not open ") + Address + ".");
    // Left by OK, the check completes as usual.
    QCOMPARE(t.storedVersion(), QVariant("2014.1"));
    QCOMPARE(t.currentPage(), 0);
}

void VersionCheckTest::valueOfAnotherTypeEndsTheActivation_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::newRow("list") << QVariant(QStringList{"2014", "1"});
    QTest::newRow("bytes") << QVariant(QByteArray("2014.1"));
}

void VersionCheckTest::valueOfAnotherTypeEndsTheActivation()
{
    QFETCH(QVariant, stored);
    auto t = notStarted(stored);
    t.activate();

    QCOMPARE(t.dialogs->dialogsShown(), 0);
    QCOMPARE(t.dialogs->shown().size(), 1);
    const auto& report = t.dialogs->shown().front();
    QCOMPARE(report.icon, DialogService::Icon::Error);
    QCOMPARE(report.caption, programTitle());
    QCOMPARE(report.text, QStringLiteral("Invalid data type for 'version'"));
    QCOMPARE(t.storedVersion(), stored);
    // The rest of the activation did not run; page 1 was there from the start.
    QCOMPARE(t.currentPage(), 0);
    QVERIFY(!t.get<QPushButton>("NextButton1")->isHidden());
}

void VersionCheckTest::unreadableStoreIsReportedAndKept()
{
    QTemporaryDir dir;
    const QByteArray broken = "[General\nversion=2013.1\n";
    FormSetup setup;
    setup.settingsFile = writeFile(dir, "settings.ini", broken);
    auto t = makeForm(std::move(setup));

    QCOMPARE(t.dialogs->dialogsShown(), 0);
    QCOMPARE(t.dialogs->shownTexts(), QStringList{"Failed to get data for 'version'"});
    QFile file(t.settingsFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), broken);
    QCOMPARE(t.currentPage(), 0);
}

void VersionCheckTest::storeThatCannotBeOpenedIsPassedOverSilently()
{
    QTemporaryDir dir;
    // A settings file below a plain file: its folder can be neither opened nor created.
    writeFile(dir, "plain", "");
    FormSetup setup;
    setup.settingsFile = dir.filePath("plain/settings.ini");
    auto t = makeForm(std::move(setup));

    QCOMPARE(t.dialogs->dialogsShown(), 0);
    QCOMPARE(t.dialogs->shownTexts(), QStringList());
    QVERIFY(!QFile::exists(t.settingsFile));
    QCOMPARE(t.currentPage(), 0);
    QVERIFY(t.get<QPushButton>("NextButton1")->isHidden());
}

QTEST_MAIN(VersionCheckTest)
#include "versioncheck_guitest.moc"
