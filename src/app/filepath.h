#pragma once
// File names from the dialogs: as the standard library wants them, and with the extension of
// the file type chosen.

#include <QFile>
#include <QString>

#include <filesystem>

// On Windows the wide form, elsewhere the bytes the file system uses.
inline std::filesystem::path fileSystemPath(const QString& name)
{
#ifdef _WIN32
    return std::filesystem::path(name.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(name).toStdString());
#endif
}

// The name a save dialog's answer stands for: a name without one of the extensions that
// `filters` offers ("PNG image (*.png);;PDF document (*.pdf)") gets the one of the file type
// `chosen`; "run" under "RDES tables (*.tsv)" is run.tsv, "run.pdf" stays as it is.
QString withChosenExtension(const QString& path, const QString& filters, const QString& chosen);
