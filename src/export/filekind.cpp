#include "export/filekind.h"

#include "common/text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <string_view>
#include <vector>

namespace morvane {

namespace fs = std::filesystem;

namespace {

// The start of a file is enough to tell its kind; a zip archive is told by its entries, listed
// at its end.
constexpr std::size_t kHeadBytes = 8192;
constexpr std::size_t kZipTailBytes = 65557; // the end record and the longest comment
constexpr std::size_t kMaxDirectoryBytes = 16u << 20;

std::string readAt(std::ifstream& in, std::uint64_t offset, std::size_t count)
{
    std::string bytes(count, '\0');
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

std::uint32_t little(std::string_view bytes, std::size_t at, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

// The entry names of a zip archive's central directory; empty when it cannot be read.
std::vector<std::string> zipEntries(std::ifstream& in, std::uint64_t size)
{
    const std::uint64_t tailStart = size > kZipTailBytes ? size - kZipTailBytes : 0;
    const std::string tail = readAt(in, tailStart, static_cast<std::size_t>(size - tailStart));
    const std::size_t end = tail.size() >= 22 ? tail.rfind(std::string_view("PK\x05\x06", 4)) : std::string::npos;
    if (end == std::string::npos || end + 22 > tail.size())
        return {};
    const std::uint32_t directorySize = little(tail, end + 12, 4);
    const std::uint32_t directoryOffset = little(tail, end + 16, 4);
    if (directorySize > kMaxDirectoryBytes || std::uint64_t{directoryOffset} + directorySize > size)
        return {};
    const std::string directory = readAt(in, directoryOffset, directorySize);
    std::vector<std::string> names;
    for (std::size_t at = 0; at + 46 <= directory.size() && little(directory, at, 4) == 0x02014b50;) {
        const std::size_t nameLength = little(directory, at + 28, 2);
        const std::size_t next = at + 46 + nameLength + little(directory, at + 30, 2) + little(directory, at + 32, 2);
        if (at + 46 + nameLength > directory.size())
            break;
        names.push_back(directory.substr(at + 46, nameLength));
        at = next;
    }
    return names;
}

std::string zipKind(std::ifstream& in, std::uint64_t size)
{
    const std::vector<std::string> names = zipEntries(in, size);
    const auto holds = [&](std::string_view name) {
        return std::any_of(names.begin(), names.end(),
                           [&](const std::string& n) { return equalsIgnoringAsciiCase(n, name); });
    };
    if (holds("rdml_data.xml"))
        return kindText(WrittenKind::Rdml);
    if (holds("[Content_Types].xml"))
        return std::any_of(names.begin(), names.end(), [](const std::string& n) { return n.starts_with("xl/"); })
                   ? "a workbook (xlsx)"
                   : "an Office document";
    return "a zip archive";
}

std::string_view firstLine(std::string_view text)
{
    return text.substr(0, text.find_first_of("\r\n"));
}

// A header line naming a "Well" column, split by tabs, semicolons or commas as layout tables are.
bool namesWellColumn(std::string_view line)
{
    const char separator = line.find('\t') != std::string_view::npos  ? '\t'
                           : line.find(';') != std::string_view::npos ? ';'
                                                                      : ',';
    for (std::size_t start = 0; start <= line.size();) {
        const std::size_t end = std::min(line.find(separator, start), line.size());
        std::string_view field = line.substr(start, end - start);
        field.remove_prefix(std::min(field.find_first_not_of(" \""), field.size()));
        field = field.substr(0, field.find_last_not_of(" \"\r") + 1);
        if (equalsIgnoringAsciiCase(field, "Well"))
            return true;
        start = end + 1;
    }
    return false;
}

std::string textKind(std::string_view head)
{
    if (head.starts_with("\xEF\xBB\xBF"))
        head.remove_prefix(3);
    const std::size_t start = head.find_first_not_of(" \t\r\n");
    const std::string_view text = start == std::string_view::npos ? std::string_view() : head.substr(start);
    if (text.starts_with("<")) {
        if (text.find("<svg") != std::string_view::npos)
            return kindText(WrittenKind::SvgDrawing);
        if (text.find("<rdml") != std::string_view::npos)
            return kindText(WrittenKind::Rdml);
        return "an XML file";
    }
    const std::string_view line = firstLine(head);
    if (equalsIgnoringAsciiCase(line.substr(0, line.find('\t')), "Well") && line.find('\t') != std::string_view::npos)
        return kindText(WrittenKind::RdesTable);
    if (namesWellColumn(line))
        return kindText(WrittenKind::LayoutTable);
    // The instrument's raw export names its columns within its first lines, "Prog#" among them.
    if (head.find("Prog#") != std::string_view::npos)
        return "a raw data export";
    return "a text file";
}

std::string regularFileKind(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "a file that cannot be read";
    std::error_code error;
    const std::uint64_t size = fs::file_size(path, error);
    const std::string head = readAt(in, 0, kHeadBytes);
    if (head.empty())
        return "an empty file";
    const std::string_view bytes = head;
    if (bytes.starts_with(std::string_view("PK\x03\x04", 4)) || bytes.starts_with(std::string_view("PK\x05\x06", 4)))
        return zipKind(in, error ? head.size() : size);
    if (bytes.starts_with("\x89PNG\r\n\x1A\n"))
        return kindText(WrittenKind::PngImage);
    if (bytes.starts_with("%PDF-"))
        return kindText(WrittenKind::PdfDocument);
    if (bytes.starts_with("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return "an Office 97-2003 document";
    if (bytes.starts_with("\x7F"
                          "ELF") ||
        bytes.starts_with("MZ"))
        return "a program";
    if (bytes.find('\0') != std::string_view::npos)
        return "a binary file";
    return textKind(bytes);
}

} // namespace

std::string kindText(WrittenKind kind)
{
    switch (kind) {
    case WrittenKind::Rdml:
        return "an RDML file";
    case WrittenKind::RdesTable:
        return "an RDES table";
    case WrittenKind::PngImage:
        return "a PNG image";
    case WrittenKind::PdfDocument:
        return "a PDF document";
    case WrittenKind::SvgDrawing:
        return "an SVG drawing";
    case WrittenKind::LayoutTable:
        return "a layout table";
    }
    return {};
}

std::string describeFile(const fs::path& path)
{
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (!fs::exists(status))
        return {};
    if (!fs::is_regular_file(status))
        return fileTypeText(status.type());
    return regularFileKind(path);
}

Status checkReplaceable(const fs::path& path, WrittenKind kind)
{
    std::error_code error;
    const bool link = fs::is_symlink(fs::symlink_status(path, error));
    const std::string what = describeFile(path);
    if (what.empty() && !link)
        return success();
    if (what == kindText(kind) || (kind == WrittenKind::LayoutTable && what == kindText(WrittenKind::RdesTable)))
        return success();
    std::string message = quotedFileName(path) + " is ";
    if (link)
        message += "a symbolic link to '" + pathForMessage(fs::read_symlink(path, error)) + "', " +
                   (what.empty() ? std::string("which does not exist") : what);
    else
        message += what;
    return Error{message + ", not " + kindText(kind) + "; it is left as it is: choose another name"};
}

} // namespace morvane
