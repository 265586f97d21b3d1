#pragma once
// Shared helpers of the GUI tests: a real TForm1, shown offscreen and activated, with the
// queued dialogs in place of the modal ones.

#include "app/queueddialogs.h"
#include "app/stringgrid.h"
#include "app/tform1.h"

#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

struct FormUnderTest {
    QueuedDialogs* dialogs = nullptr; // owned by the form
    std::unique_ptr<TForm1> form;

    template <typename W>
    W* get(const char* name) const
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
};

// Builds the window; with `activate` it is shown and activated, so FormActivate has run.
FormUnderTest makeForm(bool activate = true);

// A file in `dir` holding `contents`; returns its path.
QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& contents);

QString testData(const char* name);

// A raw data export of the given wells in that order, each with program 2 over `cycles` cycles;
// well number n (1-based) reads "<n><separator><cycle>" at each cycle. The sample is "Sample <n>".
QByteArray rawExport(const QStringList& wells, int cycles = 3, char separator = '.');
// Every well of a 96- or 384-well plate in the instrument's order: A1, A2, ..., then B1, ...
QStringList plateWells(int plateSize);
