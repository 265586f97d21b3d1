#include "app/guitest.h"

#include <QFile>
#include <QPushButton>
#include <QTabWidget>

void FormUnderTest::click(const char* name) const
{
    auto* b = get<QPushButton>(name);
    if (!b->isVisible())
        qWarning("clicking %s, which is hidden", name);
    b->click();
}

int FormUnderTest::currentPage() const
{
    return get<QTabWidget>("PageControl1")->currentIndex();
}

void FormUnderTest::open(const QString& path) const
{
    dialogs->fileNext(path);
    click("OpenButton");
}

void FormUnderTest::activate() const
{
    form->show();
    form->activateWindow();
    if (!QTest::qWaitForWindowActive(form.get()))
        qWarning("the window was not activated");
}

QVariant FormUnderTest::storedVersion() const
{
    return QSettings(settingsFile, QSettings::IniFormat).value(QStringLiteral("version"));
}

FormUnderTest makeForm(bool activate)
{
    FormSetup setup;
    setup.activate = activate;
    return makeForm(std::move(setup));
}

FormUnderTest makeForm(FormSetup setup)
{
    FormUnderTest t;
    if (setup.settingsFile.isEmpty()) {
        t.settingsDir = std::make_unique<QTemporaryDir>();
        t.settingsFile = t.settingsDir->filePath(QStringLiteral("settings.ini"));
        QSettings store(t.settingsFile, QSettings::IniFormat);
        if (setup.settings)
            setup.settings(store);
        else
            store.setValue(QStringLiteral("version"), QStringLiteral("2014.1"));
    } else {
        t.settingsFile = setup.settingsFile;
    }

    auto dialogs = std::make_unique<QueuedDialogs>();
    t.dialogs = dialogs.get();
    auto opener = std::make_unique<RecordingUrlOpener>();
    t.opener = opener.get();
    TForm1::Seams seams;
    seams.dialogs = std::move(dialogs);
    seams.settings = std::make_unique<QSettings>(t.settingsFile, QSettings::IniFormat);
    seams.urlOpener = std::move(opener);
    t.form = std::make_unique<TForm1>(std::move(seams));
    if (setup.activate)
        t.activate();
    return t;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& contents)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString testData(const char* name)
{
    return QStringLiteral(MORVANE_TESTDATA_DIR "/") + QString::fromLatin1(name);
}

QByteArray rawExport(const QStringList& wells, int cycles, char separator)
{
    QByteArray text = "Raw Data \t\tExperiment - Test plate 7 (Run on LCS480 1.5.0.39)\r\n"
                      "SamplePos\tSampleName\tProg#\tSeg#\tCycle#\tTime\tTemp\t465-510\t\r\n";
    for (int n = 1; n <= wells.size(); ++n) {
        const QByteArray well = wells[n - 1].toLatin1();
        text += well + "\tSample " + QByteArray::number(n) + "\t1\t1\t1\t100\t95.0\t0" + separator + "5\r\n";
        for (int cycle = 1; cycle <= cycles; ++cycle)
            text += well + "\tSample " + QByteArray::number(n) + "\t2\t2\t" + QByteArray::number(cycle) +
                    "\t1000\t60.0\t" + QByteArray::number(n) + separator + QByteArray::number(cycle) + "\r\n";
    }
    return text;
}

QStringList plateWells(int plateSize)
{
    const int rows = plateSize == 96 ? 8 : 16;
    const int cols = plateSize == 96 ? 12 : 24;
    QStringList wells;
    for (int row = 0; row < rows; ++row)
        for (int col = 1; col <= cols; ++col)
            wells << QChar(u'A' + row) + QString::number(col);
    return wells;
}
