#pragma once
// The general error report: what a handler does not handle itself ends up here.

#include "dialogs/handlererror.h"

#include <QString>

// The executable's file name without folder, cut at its first point, the first letter in upper
// case and every other letter in lower case: "morvane" gives "Morvane".
QString programTitle();
QString programTitleFrom(const QString& executablePath);

// The first letter in upper case, unless the first word is a file's name (a point before its
// end): messages of the core begin in lower case to follow a place.
QString sentenceStart(const QString& text);

// sentenceStart, and a point added when the text's last character sorts after ".".
QString errorReportText(const QString& text);
