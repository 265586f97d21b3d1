#pragma once
// File names from the dialogs: as the standard library wants them (on Windows the wide form,
// elsewhere the bytes the file system uses; filepath_windows.cpp, filepath_posix.cpp), and with
// the extension of the file type chosen.

#include <QString>

#include <filesystem>

std::filesystem::path fileSystemPath(const QString& name);

// The name a save dialog's answer stands for: a name without one of the extensions that
// `filters` offers ("PNG image (*.png);;PDF document (*.pdf)") gets the one of the file type
// `chosen`; "run" under "RDES tables (*.tsv)" is run.tsv, "run.pdf" stays as it is.
QString withChosenExtension(const QString& path, const QString& filters, const QString& chosen);
