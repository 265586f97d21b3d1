#pragma once
// TAboutBox: Help > About. What the program converts, its version and date, the author, and a
// way to the download page with the update history. The caller fills in the version, the date
// and the address.

#include "dialogs/programdialog.h"

class TAboutBox final : public ProgramDialog {
    Q_OBJECT
public:
    TAboutBox(UrlOpener& opener, HandlerRunner run, QWidget* parent = nullptr);
};
