#pragma once
// What an existing file is, before a save replaces it: a name given for an RDML file may lead
// (by mistake, or through a symbolic link) to a text, a workbook or a program, and replacing
// that loses it. Only a file of the kind being written is replaced.

#include "common/expected.h"

#include <filesystem>
#include <string>

namespace morvane {

enum class WrittenKind { Rdml, RdesTable, PngImage, PdfDocument, SvgDrawing, LayoutTable };

// "an RDML file", "an RDES table", "a PNG image", "a PDF document", "an SVG drawing",
// "a layout table".
std::string kindText(WrittenKind kind);

// What the file at `path` is, told by its first bytes (and, for a zip archive, its list of
// entries): one of kindText's, or "a workbook (xlsx)", "a zip archive", "an XML file", "a raw data
// export", "a text file", "an empty file", "a binary file", "a folder", ... Nothing there: "".
std::string describeFile(const std::filesystem::path& path);

// Whether a file of `kind` may replace what `path` names: success when nothing is there or when
// it is a file of that kind (through a symbolic link: the file the link leads to, which the save
// replaces). An RDES table is a layout table too: "Layout..." reads one. Otherwise an error naming what is there and
// that it is left alone.
Status checkReplaceable(const std::filesystem::path& path, WrittenKind kind);

} // namespace morvane
