#pragma once
// TNewVersionWarning: the notice shown once when a version other than the one that ran last
// starts. The caller fills in the versions and the address, shows it and releases it.

#include "dialogs/programdialog.h"

class TNewVersionWarning final : public ProgramDialog {
    Q_OBJECT
public:
    TNewVersionWarning(UrlOpener& opener, HandlerRunner run, QWidget* parent = nullptr);

    // The version that ran last, set by the caller.
    QLabel* newversionlab = nullptr;
};
