#pragma once
// What `morvane` accepts on its command line: a raw data export to open at start (the desktop
// entry's %f, a file manager's "Open with"), --help and --version.

#include "common/expected.h"

#include <QString>
#include <QStringList>

inline constexpr const char* kWindowProgram = "morvane";

struct StartArguments {
    QString file; // absolute; empty: none given
    bool help = false;
    bool version = false;
};

// `arguments` begins with the program name and no longer holds Qt's own options (-platform,
// -style, ...), which QApplication takes out. The error is a usage error naming the argument.
morvane::Expected<StartArguments> parseStartArguments(const QStringList& arguments);

QString startUsage();
// "morvane 2014.1"
QString startVersionLine();
