#pragma once
// A file name from a dialog as the standard library wants it: on Windows the wide form, elsewhere
// the bytes the file system uses.

#include <QFile>
#include <QString>

#include <filesystem>

inline std::filesystem::path fileSystemPath(const QString& name)
{
#ifdef _WIN32
    return std::filesystem::path(name.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(name).toStdString());
#endif
}
