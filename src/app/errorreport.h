#pragma once
// The general error report: what a handler does not handle itself ends up here.

#include <QString>

#include <stdexcept>
#include <string>

// An error raised by a handler; its text is shown as it stands (plus the final point rule).
class HandlerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    explicit HandlerError(const QString& text) : std::runtime_error(text.toStdString()) {}
};

// The executable's file name without folder, cut at its first point, the first letter in upper
// case and every other letter in lower case: "morvane" gives "Morvane".
QString programTitle();
QString programTitleFrom(const QString& executablePath);

// A point is added when the text's last character sorts after ".".
QString errorReportText(const QString& text);
