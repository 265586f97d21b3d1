#include "app/filepath.h"

std::filesystem::path fileSystemPath(const QString& name)
{
    return std::filesystem::path(name.toStdWString());
}
