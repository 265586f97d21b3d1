#pragma once
// Shared helpers of the GUI tests: a real TForm1, shown offscreen and activated, with the
// queued dialogs in place of the modal ones.

#include "app/queueddialogs.h"
#include "app/stringgrid.h"
#include "app/tform1.h"
#include "dialogs/urlopener.h"

#include <QList>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <functional>
#include <memory>

// Records the addresses the window has the browser open; refuses them while `refuse` is set.
class RecordingUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl& url) override
    {
        opened.push_back(url);
        return !refuse;
    }
    QList<QUrl> opened;
    bool refuse = false;
};

struct FormSetup {
    // Shown and activated, so FormActivate (and the version check) has run.
    bool activate = true;
    // Fills the settings store before the window is built. Left empty, the store holds the
    // running version, so no new-version notice shows.
    std::function<void(QSettings&)> settings;
    // An existing store file to use as it is, instead of a fresh temporary one: a second start.
    QString settingsFile;
};

struct FormUnderTest {
    // Never the user's own settings. Declared before the form, which writes into it to the end.
    std::unique_ptr<QTemporaryDir> settingsDir;
    QString settingsFile;
    QueuedDialogs* dialogs = nullptr;     // owned by the form
    RecordingUrlOpener* opener = nullptr; // owned by the form
    std::unique_ptr<TForm1> form;

    template <typename W> W* get(const char* name) const
    {
        auto* w = form->findChild<W*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no control named %s", name);
        return w;
    }
    void click(const char* name) const;
    const morvane::Grid& grid(const char* name) const { return get<StringGrid>(name)->grid(); }
    int currentPage() const;
    // Opens a file through "Open text File" with the dialog answering `path`.
    void open(const QString& path) const;
    // Shows and activates the window, which runs FormActivate.
    void activate() const;
    // The stored "version" value as a new reader of the store sees it (invalid when missing).
    QVariant storedVersion() const;
};

// Builds the window; with `activate` it is shown and activated, so FormActivate has run.
FormUnderTest makeForm(bool activate = true);
FormUnderTest makeForm(FormSetup setup);

// A file in `dir` holding `contents`; returns its path.
QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& contents);

QString testData(const char* name);

// A raw data export of the given wells in that order, each with program 2 over `cycles` cycles;
// well number n (1-based) reads "<n><separator><cycle>" at each cycle. The sample is "Sample <n>".
QByteArray rawExport(const QStringList& wells, int cycles = 3, char separator = '.');
// Every well of a 96- or 384-well plate in the instrument's order: A1, A2, ..., then B1, ...
QStringList plateWells(int plateSize);
