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

FormUnderTest makeForm(bool activate)
{
    FormUnderTest t;
    auto dialogs = std::make_unique<QueuedDialogs>();
    t.dialogs = dialogs.get();
    TForm1::Seams seams;
    seams.dialogs = std::move(dialogs);
    t.form = std::make_unique<TForm1>(std::move(seams));
    if (activate) {
        t.form->show();
        t.form->activateWindow();
        if (!QTest::qWaitForWindowActive(t.form.get()))
            qWarning("the window was not activated");
    }
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
