#include "app/filepath.h"

#include <QFile>

std::filesystem::path fileSystemPath(const QString& name)
{
    return std::filesystem::path(QFile::encodeName(name).toStdString());
}
