#include "export/workbook.h"

#include "export/sheetname.h"
#include "export/sheetscan.h"
#include "export/sheetxml.h"
#include "export/xmlutil.h"
#include "export/ziparchive.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
#include <unordered_map>

namespace morvane {

using namespace xlsx;

namespace {

constexpr std::string_view relTypeBase = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
constexpr std::string_view relOfficeDocumentStrict = "http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument";
constexpr std::string_view ctWorksheet = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
constexpr std::string_view ctStyles = "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";
constexpr std::string_view ctSharedStrings =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml";
constexpr std::string_view ctXlsb = "application/vnd.ms-excel.sheet.binary.macroEnabled.main";
constexpr std::string_view workbookContentTypes[] = {
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
    "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml",
    "application/vnd.ms-excel.sheet.macroEnabled.main+xml",
    "application/vnd.ms-excel.template.macroEnabled.main+xml",
};
constexpr int maxCellFormats = 65430; // Excel's limit for cellXfs

std::string relType(std::string_view kind) { return std::string(relTypeBase) + std::string(kind); }

// Index-based attributes hold small non-negative integers.
std::optional<long> toNumber(std::string_view text)
{
    long value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

int percentValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The part a relationship target names, without leading slash: targets are relative to the
// source part's folder (Excel, LibreOffice) or absolute (openpyxl), and may be %-encoded.
std::string resolveTarget(std::string_view sourceFolder, std::string_view target)
{
    std::string decoded;
    for (std::size_t i = 0; i < target.size(); ++i) {
        if (target[i] == '%' && i + 2 < target.size() && percentValue(target[i + 1]) >= 0 &&
            percentValue(target[i + 2]) >= 0) {
            decoded += static_cast<char>(percentValue(target[i + 1]) * 16 + percentValue(target[i + 2]));
            i += 2;
        } else {
            decoded += target[i] == '\\' ? '/' : target[i];
        }
    }
    std::string path = !decoded.empty() && decoded[0] == '/' ? decoded.substr(1) : std::string(sourceFolder) + decoded;
    std::vector<std::string> segments;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string segment = path.substr(start, end - start);
        if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        start = end + 1;
    }
    std::string out;
    for (const auto& segment : segments)
        out += (out.empty() ? "" : "/") + segment;
    return out;
}

std::string folderOf(std::string_view part)
{
    const auto slash = part.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(part.substr(0, slash + 1));
}

std::string relsPartOf(std::string_view part)
{
    const auto slash = part.rfind('/');
    const std::string_view folder = slash == std::string_view::npos ? std::string_view() : part.substr(0, slash + 1);
    const std::string_view file = slash == std::string_view::npos ? part : part.substr(slash + 1);
    return std::string(folder) + "_rels/" + std::string(file) + ".rels";
}

bool isCfb(std::string_view bytes)
{
    static constexpr unsigned char magic[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    return bytes.size() >= sizeof magic && std::memcmp(bytes.data(), magic, sizeof magic) == 0;
}

// A password-protected .xlsx is a compound file with an "EncryptedPackage" stream; its
// directory entry holds that name in UTF-16LE.
bool cfbHoldsEncryptedPackage(std::string_view bytes)
{
    static constexpr std::string_view name = "EncryptedPackage";
    std::string utf16;
    for (char c : name) {
        utf16 += c;
        utf16 += '\0';
    }
    return bytes.find(utf16) != std::string_view::npos;
}

constexpr const char* templateContentTypes =
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
constexpr const char* templateRootRels =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" )"
    R"(Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" )"
    R"(Target="xl/workbook.xml"/></Relationships>)";
constexpr const char* templateWorkbook =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
    R"(<bookViews><workbookView/></bookViews><sheets/></workbook>)";
constexpr const char* templateWorkbookRels =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" )"
    R"(Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" )"
    R"(Target="styles.xml"/></Relationships>)";
// Excel's defaults for a workbook without styles of its own.
constexpr const char* templateStyles =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
    R"(<fonts count="1"><font><sz val="11"/><color theme="1"/><name val="Calibri"/><family val="2"/>)"
    R"(<scheme val="minor"/></font></fonts>)"
    R"(<fills count="2"><fill><patternFill patternType="none"/></fill>)"
    R"(<fill><patternFill patternType="gray125"/></fill></fills>)"
    R"(<borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>)"
    R"(<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>)"
    R"(<cellXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/></cellXfs>)"
    R"(<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles>)"
    R"(<dxfs count="0"/><tableStyles count="0" defaultTableStyle="TableStyleMedium2" )"
    R"(defaultPivotStyle="PivotStyleLight16"/></styleSheet>)";
constexpr const char* templateSharedStrings =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" count="0" uniqueCount="0"></sst>)";

// Children of <styleSheet> in schema order; a created child goes before the first later one.
constexpr std::string_view styleSheetOrder[] = {"numFmts", "fonts",   "fills",  "borders",     "cellStyleXfs", "cellXfs",
                                                "cellStyles", "dxfs", "tableStyles", "colors", "extLst"};

void insertInOrder(pugi::xml_node parent, pugi::xml_node child, std::string_view name,
                   const std::string_view* order, std::size_t orderSize)
{
    const auto rank = [&](std::string_view n) {
        return static_cast<std::size_t>(std::find(order, order + orderSize, n) - order);
    };
    for (pugi::xml_node sibling : parent.children()) {
        if (sibling.type() == pugi::node_element && sibling != child && namespaceOf(sibling) == nsMain &&
            rank(localName(sibling)) > rank(name)) {
            parent.insert_move_before(child, sibling);
            return;
        }
    }
}

struct XmlPart {
    std::string name;                 // entry name, no leading slash
    std::optional<std::size_t> entry; // archive index; none: a part this edit creates
    pugi::xml_document doc;
    bool changed = false;
    std::string prefix;               // of the root element, for the children we add
};

struct Tab {
    SheetTab info;
    std::string part;
    std::optional<std::size_t> entry;
    bool selectedInFile = false; // tabSelected on its sheetView of workbook view 0
    int added = -1;              // index into the new sheets, -1 for a sheet of the file
};

struct NewSheet {
    std::string part;
    std::string dimension = "A1";
    std::string data = "<sheetData/>";
    bool written = false;
};

} // namespace

struct XlsxWorkbook::Impl {
    std::string displayName;
    WorkbookLimits limits;
    std::unique_ptr<std::string> original; // the archive reads from it
    std::optional<ZipArchive> zip;

    XmlPart contentTypes;
    XmlPart workbook;
    XmlPart workbookRels;
    std::string workbookFolder;
    std::optional<XmlPart> styles;
    std::optional<XmlPart> sharedStrings;

    std::vector<Tab> tabs;
    std::vector<SheetTab> tabInfos;
    int active = -1;
    std::vector<NewSheet> newSheets;
    bool modified = false;

    // Shared strings: index of each plain string (in its stored, _xHHHH_-escaped form).
    std::unordered_map<std::string, std::size_t> stringIndex;
    std::size_t stringCount = 0;   // <si> elements
    std::size_t referencesAdded = 0;
    bool hadCountAttribute = false;
    std::unordered_map<std::string, int> styleForFormat;

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
    Status loadPart(XmlPart& part, std::uint64_t cap);
    Status readWorkbook();
    Status readSheetHeads();
    Status readSharedStrings();
    Expected<int> styleFor(std::string_view format);
    std::size_t sharedString(const std::string& text);
    void syncTabInfos();
};

std::string XlsxWorkbook::Impl::contentTypeOf(std::string_view part) const
{
    const std::string wanted = foldAscii("/" + std::string(part));
    const pugi::xml_node types = contentTypes.doc.document_element();
    for (pugi::xml_node n : types.children())
        if (isElement(n, nsContentTypes, "Override") && foldAscii(n.attribute("PartName").value()) == wanted)
            return n.attribute("ContentType").value();
    const auto dot = part.rfind('.');
    const std::string extension = dot == std::string_view::npos ? std::string() : foldAscii(part.substr(dot + 1));
    for (pugi::xml_node n : types.children())
        if (isElement(n, nsContentTypes, "Default") && foldAscii(n.attribute("Extension").value()) == extension)
            return n.attribute("ContentType").value();
    return {};
}

bool XlsxWorkbook::Impl::partNameTaken(std::string_view part) const
{
    if (zip->contains(part))
        return true;
    const std::string folded = foldAscii(part);
    for (const auto& sheet : newSheets)
        if (foldAscii(sheet.part) == folded)
            return true;
    for (const auto* created : {styles ? &*styles : nullptr, sharedStrings ? &*sharedStrings : nullptr})
        if (created && foldAscii(created->name) == folded)
            return true;
    return false;
}

// "<folder><stem>.xml" if free (unless `numbered`), else "<folder><stem><k>.xml" for the
// smallest free k.
std::string XlsxWorkbook::Impl::freePartName(std::string_view folder, std::string_view stem, bool numbered) const
{
    std::string name = std::string(folder) + std::string(stem) + ".xml";
    if (!numbered && !partNameTaken(name))
        return name;
    for (int k = 1;; ++k) {
        name = std::string(folder) + std::string(stem) + std::to_string(k) + ".xml";
        if (!partNameTaken(name))
            return name;
    }
}

std::string XlsxWorkbook::Impl::newRelationshipId() const
{
    long highest = 0;
    std::vector<std::string> ids;
    for (pugi::xml_node n : workbookRels.doc.document_element().children()) {
        if (!isElement(n, nsPackageRels, "Relationship"))
            continue;
        const std::string_view id = n.attribute("Id").value();
        ids.emplace_back(id);
        if (id.substr(0, 3) == "rId")
            if (const auto number = toNumber(id.substr(3)))
                highest = std::max(highest, *number);
    }
    for (long m = highest + 1;; ++m) {
        std::string id = "rId" + std::to_string(m);
        if (std::find(ids.begin(), ids.end(), id) == ids.end())
            return id;
    }
}

void XlsxWorkbook::Impl::addRelationship(const std::string& id, std::string_view type, std::string_view target)
{
    pugi::xml_node rel =
        workbookRels.doc.document_element().append_child(qualified(workbookRels.prefix, "Relationship").c_str());
    rel.append_attribute("Id").set_value(id.c_str());
    rel.append_attribute("Type").set_value(std::string(type).c_str());
    rel.append_attribute("Target").set_value(std::string(target).c_str());
    workbookRels.changed = true;
}

void XlsxWorkbook::Impl::addOverride(std::string_view part, std::string_view contentType)
{
    pugi::xml_node o =
        contentTypes.doc.document_element().append_child(qualified(contentTypes.prefix, "Override").c_str());
    o.append_attribute("PartName").set_value(("/" + std::string(part)).c_str());
    o.append_attribute("ContentType").set_value(std::string(contentType).c_str());
    contentTypes.changed = true;
}

Status XlsxWorkbook::Impl::loadPart(XmlPart& part, std::uint64_t cap)
{
    part.entry = zip->find(part.name);
    if (!part.entry)
        return cannotOpen("its part '" + part.name + "' is missing");
    part.name = zip->entryName(*part.entry);
    auto bytes = zip->read(*part.entry, cap);
    if (!bytes)
        return cannotOpen(bytes.error().message);
    if (auto parsed = parsePart(part.doc, *bytes, part.name); !parsed)
        return cannotOpen(parsed.error().message);
    part.prefix = std::string(prefixOf(part.doc.document_element()));
    return success();
}

Status XlsxWorkbook::Impl::readWorkbook()
{
    contentTypes.name = "[Content_Types].xml";
    if (!zip->contains(contentTypes.name))
        return cannotOpen("it has no [Content_Types].xml, so it is not an Excel workbook (.xlsx)");
    if (auto s = loadPart(contentTypes, limits.maxPackagePartBytes); !s)
        return s;
    if (!isElement(contentTypes.doc.document_element(), nsContentTypes, "Types"))
        return cannotOpen("its [Content_Types].xml is not a content type list");

    XmlPart rootRels;
    rootRels.name = "_rels/.rels";
    if (auto s = loadPart(rootRels, limits.maxPackagePartBytes); !s)
        return s;
    std::string workbookPart;
    for (pugi::xml_node n : rootRels.doc.document_element().children()) {
        if (!isElement(n, nsPackageRels, "Relationship"))
            continue;
        const std::string_view type = n.attribute("Type").value();
        if (type == relOfficeDocumentStrict)
            return Error{"'" + displayName +
                         "' is saved as Strict Open XML, which this program does not edit; save it in Excel as an "
                         "Excel Workbook (.xlsx) and export again"};
        if (type == relType("officeDocument") && workbookPart.empty())
            workbookPart = resolveTarget("", n.attribute("Target").value());
    }
    if (workbookPart.empty())
        return cannotOpen("it names no workbook part");

    const std::string type = contentTypeOf(workbookPart);
    if (type == ctXlsb)
        return Error{"'" + displayName +
                     "' is an Excel Binary Workbook (.xlsb), which this program does not edit; save it in Excel as an "
                     "Excel Workbook (.xlsx) and export again"};
    if (std::find(std::begin(workbookContentTypes), std::end(workbookContentTypes), type) ==
        std::end(workbookContentTypes))
        return cannotOpen("its main part is of type '" + type + "', not an Excel workbook");

    workbook.name = workbookPart;
    if (auto s = loadPart(workbook, limits.maxPackagePartBytes); !s)
        return s;
    workbookFolder = folderOf(workbook.name);
    const pugi::xml_node root = workbook.doc.document_element();
    if (namespaceOf(root) == nsMainStrict)
        return Error{"'" + displayName +
                     "' is saved as Strict Open XML, which this program does not edit; save it in Excel as an "
                     "Excel Workbook (.xlsx) and export again"};
    if (!isElement(root, nsMain, "workbook"))
        return cannotOpen("its workbook part holds no workbook");
    if (pugi::xml_node protection = firstChild(root, nsMain, "workbookProtection");
        protection && attributeIsTrue(protection.attribute("lockStructure")))
        return Error{"'" + displayName +
                     "' has a protected workbook structure, so no sheet can be added; unprotect it in Excel "
                     "(Review > Protect Workbook) and export again"};
    const pugi::xml_node sheets = firstChild(root, nsMain, "sheets");
    if (!sheets)
        return cannotOpen("its workbook part has no list of sheets");

    workbookRels.name = relsPartOf(workbook.name);
    if (zip->contains(workbookRels.name)) {
        if (auto s = loadPart(workbookRels, limits.maxPackagePartBytes); !s)
            return s;
    } else {
        // Possible only for a workbook without sheets; created with the first relationship.
        workbookRels.doc.load_string(R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"/>)");
        workbookRels.changed = true;
    }
    struct Rel {
        std::string type;
        std::string part;
    };
    std::unordered_map<std::string, Rel> rels;
    for (pugi::xml_node n : workbookRels.doc.document_element().children()) {
        if (!isElement(n, nsPackageRels, "Relationship") || std::string_view(n.attribute("TargetMode").value()) == "External")
            continue;
        Rel rel{n.attribute("Type").value(), resolveTarget(workbookFolder, n.attribute("Target").value())};
        if (rel.type == relType("styles") && !styles) {
            styles.emplace();
            styles->name = rel.part;
        } else if (rel.type == relType("sharedStrings") && !sharedStrings) {
            sharedStrings.emplace();
            sharedStrings->name = rel.part;
        }
        rels.emplace(n.attribute("Id").value(), std::move(rel));
    }

    for (pugi::xml_node n : sheets.children()) {
        if (!isElement(n, nsMain, "sheet"))
            continue;
        Tab tab;
        tab.info.name = decodeEscapedUnits(n.attribute("name").value());
        const std::string_view state = n.attribute("state").value();
        tab.info.visible = state != "hidden" && state != "veryHidden";
        const auto rel = rels.find(attributeNs(n, nsOfficeRels, "id").value());
        if (rel == rels.end())
            return cannotOpen("its sheet '" + tab.info.name + "' has no part");
        const std::string& relationType = rel->second.type;
        const auto endsWith = [&](std::string_view suffix) {
            return relationType.size() >= suffix.size() &&
                   relationType.compare(relationType.size() - suffix.size(), suffix.size(), suffix) == 0;
        };
        tab.info.kind = endsWith("/worksheet")    ? SheetKind::Worksheet
                        : endsWith("/chartsheet") ? SheetKind::Chartsheet
                                                  : SheetKind::Other;
        tab.part = rel->second.part;
        tab.entry = zip->find(tab.part);
        if (!tab.entry)
            return cannotOpen("the part '" + tab.part + "' of its sheet '" + tab.info.name + "' is missing");
        tabs.push_back(std::move(tab));
    }

    // The active tab: workbookView[0]/@activeTab, 0 by default; one that does not exist or is
    // hidden (a generator's fault) becomes the first visible tab.
    long active = 0;
    if (pugi::xml_node views = firstChild(root, nsMain, "bookViews"))
        if (pugi::xml_node view = firstChild(views, nsMain, "workbookView"))
            active = toNumber(view.attribute("activeTab").value()).value_or(0);
    if (tabs.empty()) {
        this->active = -1;
    } else {
        if (active >= static_cast<long>(tabs.size()) || !tabs[static_cast<std::size_t>(active)].info.visible) {
            const auto visible = std::find_if(tabs.begin(), tabs.end(), [](const Tab& t) { return t.info.visible; });
            active = visible == tabs.end() ? 0 : visible - tabs.begin();
        }
        this->active = static_cast<int>(active);
    }

    if (styles) {
        if (auto s = loadPart(*styles, limits.maxStylesBytes); !s)
            return s;
        if (!isElement(styles->doc.document_element(), nsMain, "styleSheet"))
            return cannotOpen("its part '" + styles->name + "' holds no styles");
    }
    if (sharedStrings)
        if (auto s = readSharedStrings(); !s)
            return s;
    return readSheetHeads();
}

Status XlsxWorkbook::Impl::readSharedStrings()
{
    if (auto s = loadPart(*sharedStrings, limits.maxSharedStringsBytes); !s)
        return s;
    const pugi::xml_node sst = sharedStrings->doc.document_element();
    if (!isElement(sst, nsMain, "sst"))
        return cannotOpen("its part '" + sharedStrings->name + "' holds no shared strings");
    hadCountAttribute = static_cast<bool>(sst.attribute("count"));
    for (pugi::xml_node si : sst.children()) {
        if (!isElement(si, nsMain, "si"))
            continue;
        // Only a plain <si><t>..</t></si> can be reused; rich text and phonetics stay unmatched.
        pugi::xml_node only;
        int elements = 0;
        for (pugi::xml_node child : si.children())
            if (child.type() == pugi::node_element && ++elements == 1)
                only = child;
        if (elements == 1 && isElement(only, nsMain, "t"))
            stringIndex.emplace(only.text().get(), stringCount);
        ++stringCount;
    }
    return success();
}

Status XlsxWorkbook::Impl::readSheetHeads()
{
    for (Tab& tab : tabs) {
        const auto scan = [](const std::string& head, bool complete) { return scanSheetViews(head, complete); };
        auto head = zip->readStart(*tab.entry, limits.maxSheetHeadBytes,
                                   [&](const std::string& h) { return scan(h, false).state != SheetViewScan::NeedMore; });
        if (!head)
            return cannotOpen(head.error().message);
        const bool complete = head->size() < limits.maxSheetHeadBytes;
        const SheetViewScan result = scan(*head, complete);
        switch (result.state) {
        case SheetViewScan::Doctype:
            return cannotOpen("part '" + tab.part +
                              "' holds a document type declaration (DOCTYPE), which a workbook must not contain");
        case SheetViewScan::Utf16:
            return cannotOpen("part '" + tab.part + "' is stored as UTF-16, which this program does not edit");
        case SheetViewScan::NeedMore:
            return cannotOpen("the sheet views of part '" + tab.part + "' do not start within its first " +
                              std::to_string(limits.maxSheetHeadBytes / 1024) + " KB");
        case SheetViewScan::Done:
            tab.selectedInFile = !result.removals.empty();
            break;
        }
    }
    return success();
}

void XlsxWorkbook::Impl::syncTabInfos()
{
    tabInfos.clear();
    for (const Tab& tab : tabs)
        tabInfos.push_back(tab.info);
}

Expected<int> XlsxWorkbook::Impl::styleFor(std::string_view format)
{
    if (const auto it = styleForFormat.find(std::string(format)); it != styleForFormat.end())
        return it->second;
    if (!styles) {
        styles.emplace();
        styles->name = freePartName(workbookFolder, "styles", false);
        styles->doc.load_string(templateStyles, pugi::parse_default | pugi::parse_declaration);
        const std::string id = newRelationshipId();
        addRelationship(id, relType("styles"), styles->name.substr(workbookFolder.size()));
        addOverride(styles->name, ctStyles);
    }
    pugi::xml_node sheet = styles->doc.document_element();
    const std::string& prefix = styles->prefix;

    pugi::xml_node numFmts = firstChild(sheet, nsMain, "numFmts");
    long formatId = -1;
    long highest = 163; // ids up to 163 are Excel's own
    if (numFmts) {
        for (pugi::xml_node n : numFmts.children()) {
            if (!isElement(n, nsMain, "numFmt"))
                continue;
            const long id = toNumber(n.attribute("numFmtId").value()).value_or(0);
            highest = std::max(highest, id);
            if (formatId < 0 && format == n.attribute("formatCode").value())
                formatId = id;
        }
    }
    if (formatId < 0) {
        if (!numFmts)
            numFmts = sheet.prepend_child(qualified(prefix, "numFmts").c_str());
        formatId = highest + 1;
        pugi::xml_node n = numFmts.append_child(qualified(prefix, "numFmt").c_str());
        n.append_attribute("numFmtId").set_value(formatId);
        n.append_attribute("formatCode").set_value(std::string(format).c_str());
        std::size_t count = 0;
        for (pugi::xml_node c : numFmts.children())
            count += isElement(c, nsMain, "numFmt");
        if (pugi::xml_attribute a = numFmts.attribute("count"))
            a.set_value(count);
        else
            numFmts.prepend_attribute("count").set_value(count);
    }

    pugi::xml_node cellXfs = firstChild(sheet, nsMain, "cellXfs");
    if (!cellXfs) {
        cellXfs = sheet.append_child(qualified(prefix, "cellXfs").c_str());
        insertInOrder(sheet, cellXfs, "cellXfs", std::begin(styleSheetOrder), std::size(styleSheetOrder));
    }
    std::vector<pugi::xml_node> xfs;
    for (pugi::xml_node n : cellXfs.children())
        if (isElement(n, nsMain, "xf"))
            xfs.push_back(n);
    if (xfs.empty()) {
        pugi::xml_node xf = cellXfs.append_child(qualified(prefix, "xf").c_str());
        for (const char* name : {"numFmtId", "fontId", "fillId", "borderId", "xfId"})
            xf.append_attribute(name).set_value(0);
        xfs.push_back(xf);
    }
    // What Excel does when a format is given to default cells: a copy of xf 0 with the format.
    pugi::xml_document scratch;
    pugi::xml_node candidate = scratch.append_copy(xfs.front());
    for (const auto& [name, value] :
         {std::pair<const char*, std::string>{"numFmtId", std::to_string(formatId)}, {"applyNumberFormat", "1"}}) {
        if (pugi::xml_attribute a = candidate.attribute(name))
            a.set_value(value.c_str());
        else
            candidate.append_attribute(name).set_value(value.c_str());
    }
    const std::string wanted = serialize(candidate);
    int index = -1;
    for (std::size_t i = 0; i < xfs.size() && index < 0; ++i)
        if (serialize(xfs[i]) == wanted)
            index = static_cast<int>(i);
    if (index < 0) {
        if (xfs.size() >= static_cast<std::size_t>(maxCellFormats))
            return Error{"'" + displayName + "' already holds " + std::to_string(maxCellFormats) +
                         " cell formats, the most Excel allows; no format can be added"};
        cellXfs.append_copy(candidate);
        index = static_cast<int>(xfs.size());
        if (pugi::xml_attribute a = cellXfs.attribute("count"))
            a.set_value(xfs.size() + 1);
        else
            cellXfs.prepend_attribute("count").set_value(xfs.size() + 1);
    }
    styles->changed = true;
    styleForFormat.emplace(std::string(format), index);
    return index;
}

std::size_t XlsxWorkbook::Impl::sharedString(const std::string& text)
{
    if (!sharedStrings) {
        sharedStrings.emplace();
        sharedStrings->name = freePartName(workbookFolder, "sharedStrings", false);
        sharedStrings->doc.load_string(templateSharedStrings, pugi::parse_default | pugi::parse_declaration);
        hadCountAttribute = true;
        const std::string id = newRelationshipId();
        addRelationship(id, relType("sharedStrings"), sharedStrings->name.substr(workbookFolder.size()));
        addOverride(sharedStrings->name, ctSharedStrings);
    }
    sharedStrings->changed = true;
    ++referencesAdded;
    std::string stored = encodeEscapedUnits(text);
    const auto [it, inserted] = stringIndex.emplace(std::move(stored), stringCount);
    if (inserted) {
        const std::string& prefix = sharedStrings->prefix;
        pugi::xml_node si = sharedStrings->doc.document_element().append_child(qualified(prefix, "si").c_str());
        pugi::xml_node t = si.append_child(qualified(prefix, "t").c_str());
        if (needsSpacePreserve(it->first))
            t.append_attribute("xml:space").set_value("preserve");
        t.append_child(pugi::node_pcdata).set_value(it->first.c_str());
        ++stringCount;
    }
    return it->second;
}

XlsxWorkbook::XlsxWorkbook(std::unique_ptr<Impl> impl) : d(std::move(impl)) {}
XlsxWorkbook::XlsxWorkbook(XlsxWorkbook&&) noexcept = default;
XlsxWorkbook& XlsxWorkbook::operator=(XlsxWorkbook&&) noexcept = default;
XlsxWorkbook::~XlsxWorkbook() = default;

Expected<XlsxWorkbook> XlsxWorkbook::open(std::string bytes, std::string displayName, const WorkbookLimits& limits)
{
    auto d = std::make_unique<Impl>();
    d->displayName = std::move(displayName);
    d->limits = limits;
    const std::string& name = d->displayName;
    if (bytes.size() > limits.maxFileBytes)
        return Error{"'" + name + "' is too large to open as a workbook (" + std::to_string(bytes.size() >> 20) +
                     " MB; this program opens at most " + std::to_string(limits.maxFileBytes >> 20) + " MB)"};
    if (bytes.empty())
        return d->cannotOpen("the file is empty");
    if (isCfb(bytes)) {
        if (cfbHoldsEncryptedPackage(bytes))
            return Error{"'" + name +
                         "' is protected with a password (encrypted), so this program cannot add a sheet to it; remove "
                         "the password in Excel or choose another workbook"};
        return Error{"'" + name +
                     "' is an Excel 97-2003 workbook (.xls), which this program does not edit; save it in Excel as an "
                     "Excel Workbook (.xlsx) and export again"};
    }
    d->original = std::make_unique<std::string>(std::move(bytes));
    auto zip = ZipArchive::open(*d->original, limits.maxEntries, limits.maxTotalBytes);
    if (!zip)
        return d->cannotOpen(zip.error().message);
    d->zip.emplace(std::move(zip).value());
    if (auto s = d->readWorkbook(); !s)
        return s.error();
    d->syncTabInfos();
    return XlsxWorkbook(std::move(d));
}

Expected<XlsxWorkbook> XlsxWorkbook::create(std::string displayName)
{
    auto bytes = ZipArchive::build({{"[Content_Types].xml", templateContentTypes},
                                    {"_rels/.rels", templateRootRels},
                                    {"xl/workbook.xml", templateWorkbook},
                                    {"xl/_rels/workbook.xml.rels", templateWorkbookRels},
                                    {"xl/styles.xml", templateStyles}});
    if (!bytes)
        return bytes.error();
    return open(std::move(bytes).value(), std::move(displayName));
}

const std::string& XlsxWorkbook::displayName() const { return d->displayName; }
const std::vector<SheetTab>& XlsxWorkbook::tabs() const { return d->tabInfos; }
int XlsxWorkbook::activeTab() const { return d->active; }
bool XlsxWorkbook::activeTabIsNew() const
{
    return d->active >= 0 && d->tabs[static_cast<std::size_t>(d->active)].added >= 0;
}
bool XlsxWorkbook::modified() const { return d->modified; }

Expected<std::string> XlsxWorkbook::addSheet(std::string_view wantedName, std::string_view defaultBase)
{
    if (!d->zip)
        return Error{"'" + d->displayName + "' was already saved"};
    const auto taken = [&](std::string_view name) {
        return std::any_of(d->tabs.begin(), d->tabs.end(), [&](const Tab& t) { return sameSheetName(t.info.name, name); });
    };
    std::string name(wantedName);
    if (name.empty()) {
        for (std::size_t n = d->tabs.size() + 1; name.empty() || taken(name); ++n)
            name = std::string(defaultBase) + std::to_string(n);
    } else {
        if (auto valid = checkSheetName(name); !valid)
            return valid.error();
        if (taken(name))
            return Error{"Cannot add a sheet named '" + name + "' to '" + d->displayName +
                         "': that name is already taken. Try a different one."};
    }

    pugi::xml_node root = d->workbook.doc.document_element();
    pugi::xml_node sheets = firstChild(root, nsMain, "sheets");
    const std::size_t position = d->active < 0 ? 0 : static_cast<std::size_t>(d->active);

    long highestId = 0;
    std::vector<long> ids;
    pugi::xml_node before; // the sheet element the new one goes in front of
    std::size_t index = 0;
    for (pugi::xml_node n : sheets.children()) {
        if (!isElement(n, nsMain, "sheet"))
            continue;
        if (index++ == position)
            before = n;
        const long id = toNumber(n.attribute("sheetId").value()).value_or(0);
        ids.push_back(id);
        highestId = std::max(highestId, id);
    }
    long sheetId = highestId + 1;
    if (sheetId > 65535) // the largest id Excel's file format can hold
        for (sheetId = 1; std::find(ids.begin(), ids.end(), sheetId) != ids.end(); ++sheetId) {
        }

    NewSheet sheet;
    sheet.part = d->freePartName(d->workbookFolder + "worksheets/", "sheet", true);
    const std::string relId = d->newRelationshipId();
    d->addRelationship(relId, relType("worksheet"), sheet.part.substr(d->workbookFolder.size()));
    d->addOverride(sheet.part, ctWorksheet);

    const std::string mainPrefix(prefixOf(sheets));
    pugi::xml_node element = before ? sheets.insert_child_before(qualified(mainPrefix, "sheet").c_str(), before)
                                    : sheets.append_child(qualified(mainPrefix, "sheet").c_str());
    element.append_attribute("name").set_value(encodeEscapedUnits(name).c_str());
    element.append_attribute("sheetId").set_value(sheetId);
    std::string relPrefix;
    if (!findPrefix(sheets, nsOfficeRels, relPrefix) || relPrefix.empty()) {
        relPrefix = "r";
        element.append_attribute("xmlns:r").set_value(std::string(nsOfficeRels).c_str());
    }
    element.append_attribute((relPrefix + ":id").c_str()).set_value(relId.c_str());

    // Names scoped to a sheet hold its position, so those at or after the new sheet move on.
    if (pugi::xml_node names = firstChild(root, nsMain, "definedNames"))
        for (pugi::xml_node n : names.children())
            if (isElement(n, nsMain, "definedName"))
                if (pugi::xml_attribute local = n.attribute("localSheetId"))
                    if (const auto id = toNumber(local.value()); id && *id >= static_cast<long>(position))
                        local.set_value(*id + 1);

    pugi::xml_node views = firstChild(root, nsMain, "bookViews");
    if (!views) {
        views = root.insert_child_before(qualified(mainPrefix, "bookViews").c_str(), sheets);
        views.append_child(qualified(mainPrefix, "workbookView").c_str());
    }
    bool first = true;
    for (pugi::xml_node view : views.children()) {
        if (!isElement(view, nsMain, "workbookView"))
            continue;
        pugi::xml_attribute activeTab = view.attribute("activeTab");
        pugi::xml_attribute firstSheet = view.attribute("firstSheet");
        const long firstShown = toNumber(firstSheet.value()).value_or(0);
        if (first) {
            if (!activeTab)
                activeTab = view.append_attribute("activeTab");
            activeTab.set_value(position);
            if (firstSheet && firstShown > static_cast<long>(position))
                firstSheet.set_value(position); // keep the new tab in sight
            first = false;
        } else {
            if (const auto tab = toNumber(activeTab.value()); activeTab && tab && *tab >= static_cast<long>(position))
                activeTab.set_value(*tab + 1);
            if (firstSheet && firstShown > static_cast<long>(position))
                firstSheet.set_value(firstShown + 1);
        }
    }
    d->workbook.changed = true;

    Tab tab;
    tab.info.name = name;
    tab.part = sheet.part;
    tab.added = static_cast<int>(d->newSheets.size());
    d->newSheets.push_back(std::move(sheet));
    d->tabs.insert(d->tabs.begin() + static_cast<std::ptrdiff_t>(position), std::move(tab));
    d->active = static_cast<int>(position);
    d->modified = true;
    d->syncTabInfos();
    return name;
}

Status XlsxWorkbook::writeRange(int firstCol, int lastCol, int firstRow, int lastRow, const ValueBlock& block,
                                std::string_view numberFormat)
{
    if (!d->zip)
        return Error{"'" + d->displayName + "' was already saved"};
    if (firstCol < 1 || firstRow < 1 || lastCol < firstCol || lastRow < firstRow || lastCol > maxSheetCols ||
        lastRow > maxSheetRows)
        return Error{"The range from row " + std::to_string(firstRow) + ", column " + std::to_string(firstCol) +
                     " to row " + std::to_string(lastRow) + ", column " + std::to_string(lastCol) +
                     " does not fit in a sheet (at most 1,048,576 rows and 16,384 columns)."};
    if (block.rows() != lastRow - firstRow + 1 || block.cols() != lastCol - firstCol + 1)
        return Error{"The block of " + std::to_string(block.rows()) + " x " + std::to_string(block.cols()) +
                     " values does not match the range " + cellReference(firstRow, firstCol) + ":" +
                     cellReference(lastRow, lastCol) + "."};
    if (d->active < 0)
        return Error{"'" + d->displayName + "' has no sheet to write to."};
    const Tab& tab = d->tabs[static_cast<std::size_t>(d->active)];
    if (tab.added < 0)
        return Error{"The active sheet '" + tab.info.name + "' of '" + d->displayName +
                     "' was already there; this program writes only into a sheet it has just added."};
    NewSheet& sheet = d->newSheets[static_cast<std::size_t>(tab.added)];
    if (sheet.written)
        return Error{"The sheet '" + tab.info.name + "' has already been written."};
    if (auto valid = checkValues(block, firstRow, firstCol); !valid)
        return valid;
    auto style = d->styleFor(numberFormat);
    if (!style)
        return style.error();
    sheet.data = sheetData(block, firstRow, firstCol, *style, [&](const std::string& text) { return d->sharedString(text); });
    sheet.dimension = cellReference(firstRow, firstCol);
    if (lastRow != firstRow || lastCol != firstCol)
        sheet.dimension += ":" + cellReference(lastRow, lastCol);
    sheet.written = true;
    return success();
}

Expected<std::string> XlsxWorkbook::save(int compressionLevel)
{
    if (!d->zip)
        return Error{"'" + d->displayName + "' was already saved"};
    if (!d->modified)
        return *d->original;
    const auto failed = [&](const std::string& reason) {
        d->zip.reset();
        return Error{"'" + d->displayName + "' cannot be saved: " + reason};
    };
    ZipArchive& zip = *d->zip;

    if (d->sharedStrings && d->sharedStrings->changed) {
        pugi::xml_node sst = d->sharedStrings->doc.document_element();
        if (d->hadCountAttribute) {
            pugi::xml_attribute count = sst.attribute("count");
            const long before = toNumber(count.value()).value_or(0);
            count.set_value(static_cast<unsigned long long>(before) + d->referencesAdded);
        }
        if (pugi::xml_attribute unique = sst.attribute("uniqueCount"))
            unique.set_value(d->stringCount);
        else
            sst.append_attribute("uniqueCount").set_value(d->stringCount);
    }
    for (XmlPart* part : {&d->contentTypes, &d->workbook, &d->workbookRels, d->styles ? &*d->styles : nullptr,
                          d->sharedStrings ? &*d->sharedStrings : nullptr}) {
        if (!part || !part->changed)
            continue;
        if (part->entry)
            zip.replace(*part->entry, serialize(part->doc));
        else
            zip.add(part->name, serialize(part->doc));
    }
    for (std::size_t i = 0; i < d->tabs.size(); ++i) {
        const Tab& tab = d->tabs[i];
        if (tab.added >= 0) {
            const NewSheet& sheet = d->newSheets[static_cast<std::size_t>(tab.added)];
            zip.add(sheet.part, worksheetXml(sheet.dimension, static_cast<int>(i) == d->active, sheet.data));
        } else if (tab.selectedInFile) {
            auto xml = zip.read(*tab.entry, d->limits.maxSheetBytes);
            if (!xml)
                return failed(xml.error().message);
            const SheetViewScan scan = scanSheetViews(*xml, true);
            for (auto it = scan.removals.rbegin(); it != scan.removals.rend(); ++it)
                xml->erase(it->first, it->second - it->first);
            zip.replace(*tab.entry, std::move(xml).value());
        }
    }
    auto bytes = zip.commit(compressionLevel);
    d->zip.reset();
    if (!bytes)
        return Error{"'" + d->displayName + "' cannot be saved: " + bytes.error().message};
    return bytes;
}

} // namespace morvane
