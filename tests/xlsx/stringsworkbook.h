#pragma once
// A one-sheet workbook whose texts live in a shared-strings part, as the tests and the benchmark
// of large shared strings build it: only the strings and the sheet's cells differ between them.

#include <string>
#include <utility>
#include <vector>

namespace stringsworkbook {

inline const std::string kMainNs = R"( xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";

// The parts of the package; `sst` is the whole <sst> element, `sheetData` the sheet's <sheetData>.
inline std::vector<std::pair<std::string, std::string>> parts(std::string sst, const std::string& sheetData)
{
    const std::string rels = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    return {
        {"[Content_Types].xml",
         R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
         R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
         R"(<Default Extension="xml" ContentType="application/xml"/>)"
         R"(<Override PartName="/xl/workbook.xml" )"
         R"(ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
         R"(<Override PartName="/xl/worksheets/sheet1.xml" )"
         R"(ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>)"
         R"(<Override PartName="/xl/sharedStrings.xml" )"
         R"(ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>)"
         R"(</Types>)"},
        {"_rels/.rels", R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
                        R"(<Relationship Id="rId1" Type=")" +
                            rels + R"(officeDocument" Target="xl/workbook.xml"/></Relationships>)"},
        {"xl/workbook.xml", "<workbook" + kMainNs + R"( xmlns:r=")" + rels.substr(0, rels.size() - 1) +
                                R"("><sheets><sheet name="Data" sheetId="1" r:id="rId1"/></sheets></workbook>)"},
        {"xl/_rels/workbook.xml.rels",
         R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
         R"(<Relationship Id="rId1" Type=")" +
             rels + R"(worksheet" Target="worksheets/sheet1.xml"/><Relationship Id="rId2" Type=")" + rels +
             R"(sharedStrings" Target="sharedStrings.xml"/></Relationships>)"},
        {"xl/worksheets/sheet1.xml", "<worksheet" + kMainNs + ">" + sheetData + "</worksheet>"},
        {"xl/sharedStrings.xml", std::move(sst)},
    };
}

} // namespace stringsworkbook
