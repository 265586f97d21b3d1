#pragma once
// The inside of XlsxWorkbook, shared by the reading (workbookread.cpp) and the editing
// (workbookedit.cpp) of a package.

#include "common/text.h"
#include "xlsx/sharedstrings.h"
#include "xlsx/sheetspans.h"
#include "xlsx/workbook.h"
#include "xlsx/ziparchive.h"

#include <pugixml.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace morvane {
namespace xlsx {

inline constexpr std::string_view kRelTypeBase = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
inline constexpr std::string_view kRelOfficeDocumentStrict =
    "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument";
inline constexpr std::string_view kCtWorksheet =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
inline constexpr std::string_view kCtStyles = "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";
inline constexpr std::string_view kCtSharedStrings =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml";
inline constexpr std::string_view kCtXlsb = "application/vnd.ms-excel.sheet.binary.macroEnabled.main";
inline constexpr std::string_view workbookContentTypes[] = {
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
    "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml",
    "application/vnd.ms-excel.sheet.macroEnabled.main+xml",
    "application/vnd.ms-excel.template.macroEnabled.main+xml",
};
inline constexpr int kMaxCellFormats = 65430; // Excel's limit for cellXfs

std::string relType(std::string_view kind);
// The part a relationship target names, without leading slash.
std::string resolveTarget(std::string_view sourceFolder, std::string_view target);
std::string folderOf(std::string_view part);
std::string relsPartOf(std::string_view part);

inline constexpr const char* templateContentTypes =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
    R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
    R"(<Default Extension="xml" ContentType="application/xml"/>)"
    R"(<Override PartName="/xl/workbook.xml" )"
    R"(ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
    R"(<Override PartName="/xl/styles.xml" )"
    R"(ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>)"
    R"(</Types>)";
inline constexpr const char* templateWorkbook =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
    R"(<bookViews><workbookView/></bookViews><sheets/></workbook>)";
// A relationships part holding one relationship, rId1.
inline std::string templateRelationships(std::string_view type, std::string_view target)
{
    return R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
           "\n"
           R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
           R"(<Relationship Id="rId1" Type=")" +
           std::string(type) + R"(" Target=")" + std::string(target) + R"("/></Relationships>)";
}
// Excel's defaults for a workbook without styles of its own (no theme: a new workbook has none).
inline constexpr const char* templateStyles =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
    R"(<fonts count="1"><font><sz val="11"/><name val="Calibri"/><family val="2"/></font></fonts>)"
    R"(<fills count="2"><fill><patternFill patternType="none"/></fill>)"
    R"(<fill><patternFill patternType="gray125"/></fill></fills>)"
    R"(<borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>)"
    R"(<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>)"
    R"(<cellXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/></cellXfs>)"
    R"(<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles>)"
    R"(<dxfs count="0"/><tableStyles count="0" defaultTableStyle="TableStyleMedium2" )"
    R"(defaultPivotStyle="PivotStyleLight16"/></styleSheet>)";
inline constexpr const char* templateSharedStrings =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="0" uniqueCount="0"></sst>)";

// Children of <styleSheet> in schema order; a created child goes before the first later one.
inline constexpr std::string_view styleSheetOrder[] = {"numFmts",      "fonts",   "fills",      "borders",
                                                       "cellStyleXfs", "cellXfs", "cellStyles", "dxfs",
                                                       "tableStyles",  "colors",  "extLst"};

struct XmlPart {
    std::string name;                 // entry name, no leading slash
    std::optional<std::size_t> entry; // archive index; none: a part this edit creates
    pugi::xml_document doc;
    bool changed = false;
    std::string prefix; // of the root element, for the children we add
};

struct SharedStringsPart {
    std::string name;                 // entry name, no leading slash
    std::optional<std::size_t> entry; // none: a part this edit creates
    SharedStrings strings;
    bool related = true; // the workbook's relationships lead to it
};

struct Tab {
    SheetTab info;
    std::string part;
    std::optional<std::size_t> entry;
    bool selectedInFile = false; // tabSelected on its sheetView of workbook view 0
    int added = -1;              // index into the new sheets, -1 for a sheet of the file
};

// A 3-D reference's span in a formula, and where the formula is: a sheet's or a defined name's.
struct FoundSpan {
    SheetSpan span;
    std::string where; // "the sheet 'Summary'", "the defined name 'Total'"
};

struct NewSheet {
    std::string part;
    std::string dimension = "A1";
    // The whole part once written, made as if the sheet were the selected tab or not (`selected`);
    // its first `startLength` bytes are what stands before the <sheetData>.
    std::string xml;
    std::size_t startLength = 0;
    bool selected = false;
    bool written = false;
};

} // namespace xlsx

struct XlsxWorkbook::Impl {
    using XmlPart = xlsx::XmlPart;
    using Tab = xlsx::Tab;
    using NewSheet = xlsx::NewSheet;

    std::string displayName;
    WorkbookLimits limits;
    std::unique_ptr<std::string> original; // the archive reads from it
    std::optional<xlsx::ZipArchive> zip;
    std::unique_ptr<xlsx::ChecksumCheck> checksums; // of the original, from the first change on

    XmlPart contentTypes;
    XmlPart workbook;
    XmlPart workbookRels;
    std::string workbookFolder;
    std::optional<XmlPart> styles;
    std::optional<xlsx::SharedStringsPart> sharedStrings;

    std::vector<Tab> tabs;
    std::vector<SheetTab> tabInfos;
    int active = -1;
    std::vector<NewSheet> newSheets;
    bool modified = false;
    std::vector<std::string> warnings;

    std::unordered_map<std::string, int> styleForFormat;
    std::optional<std::vector<xlsx::FoundSpan>> sheetFormulaSpans; // read once, at the first need

    Error cannotOpen(const std::string& reason) const
    {
        return Error{"'" + displayName + "' cannot be opened as a workbook: " + reason};
    }

    std::string contentTypeOf(std::string_view part) const;
    bool partNameTaken(std::string_view part) const;
    std::string freePartName(std::string_view folder, std::string_view stem, bool numbered) const;
    std::string newRelationshipId() const;
    void addRelationship(const std::string& id, std::string_view type, std::string_view target);
    void addOverride(std::string_view part, std::string_view contentType);
    std::string relationshipTarget(std::string_view part) const;
    // The relationship from the workbook and the content type of a new part; returns the
    // relationship's id.
    std::string registerPart(std::string_view part, std::string_view kind, std::string_view contentType);
    // A part this edit adds to the workbook's folder, named after its kind ("styles.xml") and
    // filled from a template.
    void createPart(std::optional<XmlPart>& part, std::string_view kind, const char* xml, std::string_view contentType);
    Status loadPart(XmlPart& part, std::uint64_t cap);
    Status readWorkbook();
    // The steps of readWorkbook, in order.
    Expected<std::string> findWorkbookPart();
    Expected<pugi::xml_node> readWorkbookPart(const std::string& part);
    Status readWorkbookRelationships(std::unordered_map<std::string, std::pair<std::string, std::string>>& rels);
    Status readTabs(pugi::xml_node sheets,
                    const std::unordered_map<std::string, std::pair<std::string, std::string>>& rels);
    void chooseActiveTab(pugi::xml_node root);
    Status readStyles();
    Status readSheetHeads();
    Status readSharedStrings();
    void findUnrelatedSharedStrings();
    Expected<int> styleFor(std::string_view format);
    Expected<std::string> newSheetName(std::string_view wantedName, std::string_view defaultBase) const;
    void insertNewTab(std::string name, std::string part, std::size_t position);
    // Before the active tab, unless that is inside the span of a 3-D reference (workbookspans.cpp).
    std::size_t newSheetPosition(const std::string& name);
    std::vector<xlsx::FoundSpan> formulaSpans();
    std::size_t sharedString(const std::string& text);
    void syncTabInfos();
};

} // namespace morvane
