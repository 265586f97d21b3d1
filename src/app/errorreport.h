#pragma once
// The general error report: what a handler does not handle itself ends up here.

#include "dialogs/handlererror.h"

#include <QString>

// The executable's file name without folder, cut at its first point, the first letter in upper
// case and every other letter in lower case: "morvane" gives "Morvane".
QString programTitle();
QString programTitleFrom(const QString& executablePath);

// A point is added when the text's last character sorts after ".".
QString errorReportText(const QString& text);
