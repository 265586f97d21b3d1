#pragma once
// A file name from a dialog as the standard library wants it: on Windows the wide form, elsewhere
// the bytes the file system uses (filepath_windows.cpp, filepath_posix.cpp).

#include <QString>

#include <filesystem>

std::filesystem::path fileSystemPath(const QString& name);
