#pragma once
// Test helpers for workbook packages: fixtures, raw ZIP entries, XML parts, the openpyxl
// checker and structural checks that readers do not make.

#include <pugixml.hpp>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace xlsxtest {

std::filesystem::path fixture(const std::string& name);
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

struct Entry {
    std::uint32_t crc = 0;
    std::uint16_t method = 0;
    std::string raw; // compressed bytes as stored
};
// Every entry of an archive by name. Local headers must match the directory unless
// `headersMayDiffer` (an input written with data descriptors).
std::map<std::string, Entry> entries(const std::string& archive, bool headersMayDiffer = false);
std::string part(const std::string& archive, const std::string& name);
// A new archive of the given (name, content) entries.
std::string makeZip(const std::vector<std::pair<std::string, std::string>>& parts);
// The archive with one part's content replaced (or added).
std::string withPart(const std::string& archive, const std::string& name, const std::string& content);

// The local name of an element (without prefix).
std::string local(pugi::xml_node node);
std::vector<pugi::xml_node> childrenNamed(pugi::xml_node parent, const std::string& localName);

// Problems found in a package that Excel would object to, or that break what the edit promised:
// content types, element order, one selected tab on the active sheet, ids, counts, ascending
// rows and cells, well-formed parts without DOCTYPE. Empty when all is well.
std::vector<std::string> structuralProblems(const std::string& archive);

// The workbook read back with openpyxl against expectation lines (see check_workbook.py);
// the checker's complaints, empty when all agrees.
bool openpyxlAvailable();
std::string openpyxlProblems(const std::string& archive, const std::string& expectations);

// A fresh folder, removed with everything in it.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::filesystem::path path;
    std::vector<std::string> files() const;
};

} // namespace xlsxtest
