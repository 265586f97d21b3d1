#pragma once
// The error a handler raises to stop: the window's general error report shows its text as it
// stands (plus the final point). The dialogs' handlers raise it too, so it lives down here.

#include <QString>

#include <stdexcept>
#include <string>

class HandlerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    explicit HandlerError(const QString& text) : std::runtime_error(text.toStdString()) {}
};
