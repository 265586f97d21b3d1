// Fuzzed texts as the parts of a workbook, zipped afresh for every input, so that mutations reach
// the XML readers instead of failing a checksum (as most of fuzz_workbook's do). The input is
// texts separated by form feeds, which no XML part holds. The first eight are the parts below, in
// order; a part the input does not reach keeps the text of a sound workbook, an empty text leaves
// it out. Every further text is a part of its own: its first line is the name, the rest the text.
// The export and its checks are those of fuzz_workbook (exportcheck.h).

#include "exportcheck.h"

#include "xlsx/ziparchive.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr const char* kMain = R"(xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";
constexpr const char* kRelationships = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::vector<std::pair<std::string, std::string>> soundWorkbook()
{
    const std::string ct = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
    const std::string rel = std::string(kRelationships) + "/";
    const std::string main = kMain;
    const std::string sheetHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet " + main +
                                  R"( xmlns:r=")" + kRelationships + R"("><dimension ref="A1"/><sheetViews>)";
    return {
        {"[Content_Types].xml",
         R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
         R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
         R"(<Default Extension="xml" ContentType="application/xml"/>)"
         R"(<Override PartName="/xl/workbook.xml" ContentType=")" +
             ct + R"(sheet.main+xml"/><Override PartName="/xl/worksheets/sheet1.xml" ContentType=")" + ct +
             R"(worksheet+xml"/><Override PartName="/xl/worksheets/sheet2.xml" ContentType=")" + ct +
             R"(worksheet+xml"/><Override PartName="/xl/styles.xml" ContentType=")" + ct +
             R"(styles+xml"/><Override PartName="/xl/sharedStrings.xml" ContentType=")" + ct +
             R"(sharedStrings+xml"/></Types>)"},
        {"_rels/.rels", R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
                        R"(<Relationship Id="rId1" Type=")" +
                            rel + R"(officeDocument" Target="xl/workbook.xml"/></Relationships>)"},
        {"xl/workbook.xml",
         "<workbook " + main + R"( xmlns:r=")" + kRelationships +
             R"("><bookViews><workbookView firstSheet="0" activeTab="1"/><workbookView activeTab="0"/></bookViews>)"
             R"(<sheets><sheet name="Data" sheetId="1" r:id="rId1"/><sheet name="Run_x0031_" sheetId="2" r:id="rId2"/>)"
             R"(</sheets><definedNames><definedName name="_xlnm.Print_Area" localSheetId="1">Run1!$A$1</definedName>)"
             R"(</definedNames></workbook>)"},
        {"xl/_rels/workbook.xml.rels",
         R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
         R"(<Relationship Id="rId1" Type=")" +
             rel + R"(worksheet" Target="worksheets/sheet1.xml"/><Relationship Id="rId2" Type=")" + rel +
             R"(worksheet" Target="/xl/worksheets/sheet2.xml"/><Relationship Id="rId3" Type=")" + rel +
             R"(styles" Target="styles.xml"/><Relationship Id="rId4" Type=")" + rel +
             R"(sharedStrings" Target="sharedStrings.xml"/></Relationships>)"},
        {"xl/styles.xml",
         "<styleSheet " + main +
             R"(><numFmts count="1"><numFmt numFmtId="164" formatCode="0.0"/></numFmts>)"
             R"(<fonts count="1"><font><sz val="11"/><name val="Calibri"/></font></fonts>)"
             R"(<fills count="2"><fill><patternFill patternType="none"/></fill><fill><patternFill patternType="gray125"/>)"
             R"(</fill></fills><borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>)"
             R"(<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>)"
             R"(<cellXfs count="2"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/>)"
             R"(<xf numFmtId="164" fontId="0" fillId="0" borderId="0" xfId="0" applyNumberFormat="1"/></cellXfs>)"
             R"(<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles></styleSheet>)"},
        {"xl/sharedStrings.xml",
         "<sst " + main +
             R"( count="3" uniqueCount="3"><si><t>well</t></si><si><r><t>rich</t></r><rPh sb="0" eb="1"><t>r</t></rPh>)"
             R"(</si><si><t xml:space="preserve"> Std 1</t></si></sst>)"},
        {"xl/worksheets/sheet1.xml",
         sheetHead +
             R"(<sheetView tabSelected="1" workbookViewId="0"/></sheetViews><sheetData><row r="1">)"
             R"(<c r="A1" t="s"><v>0</v></c><c r="B1"><f>SUM(Data:Run1!C1)</f></c></row></sheetData></worksheet>)"},
        {"xl/worksheets/sheet2.xml",
         sheetHead + R"(<sheetView tabSelected="true" workbookViewId="0"><selection activeCell="B2"/></sheetView>)"
                     R"(</sheetViews><sheetData/></worksheet>)"},
    };
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::vector<std::pair<std::string, std::string>> sound = soundWorkbook();
    std::vector<std::pair<std::string, std::string>> parts = sound;
    std::vector<bool> present(parts.size(), true);
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    for (std::size_t section = 0; start <= input.size() && size > 0; ++section) {
        std::size_t end = input.find('\f', start);
        if (end == std::string_view::npos)
            end = input.size();
        const std::string_view text = input.substr(start, end - start);
        if (section < sound.size()) {
            parts[section].second = std::string(text);
            present[section] = !text.empty();
        } else {
            const std::size_t newline = text.find('\n');
            parts.emplace_back(std::string(text.substr(0, newline)), newline == std::string_view::npos
                                                                         ? std::string()
                                                                         : std::string(text.substr(newline + 1)));
            present.push_back(true);
        }
        start = end + 1;
    }
    std::vector<std::pair<std::string, std::string>> kept;
    for (std::size_t i = 0; i < parts.size(); ++i)
        if (present[i])
            kept.push_back(std::move(parts[i]));
    // Names the archive cannot hold (twice, empty) are not what this target is after.
    auto zipped = morvane::xlsx::ZipArchive::build(kept);
    if (!zipped)
        return 0;
    fuzz::exportAndCheck(std::move(zipped).value());
    return 0;
}
