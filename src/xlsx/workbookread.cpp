#include "xlsx/workbookimpl.h"

#include "common/text.h"
#include "xlsx/sheetname.h"
#include "xlsx/sheetscan.h"
#include "xlsx/xmlutil.h"
#include "xlsx/zipwriter.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace morvane {

using namespace xlsx;

namespace {

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

} // namespace

namespace xlsx {

std::string relType(std::string_view kind)
{
    return std::string(kRelTypeBase) + std::string(kind);
}

// Targets are relative to the source part's folder (Excel, LibreOffice) or absolute
// (openpyxl), and may be %-encoded.
std::string resolveTarget(std::string_view sourceFolder, std::string_view target)
{
    std::string decoded;
    for (std::size_t i = 0; i < target.size(); ++i) {
        if (target[i] == '%' && i + 2 < target.size() && hexValue(target[i + 1]) >= 0 && hexValue(target[i + 2]) >= 0) {
            decoded += static_cast<char>(hexValue(target[i + 1]) * 16 + hexValue(target[i + 2]));
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

} // namespace xlsx

std::string XlsxWorkbook::Impl::contentTypeOf(std::string_view part) const
{
    const std::string wanted = foldAscii("/" + std::string(part));
    const pugi::xml_node types = contentTypes.doc.document_element();
    for (pugi::xml_node n : types.children())
        if (isElement(n, kNsContentTypes, "Override") && foldAscii(n.attribute("PartName").value()) == wanted)
            return n.attribute("ContentType").value();
    const auto dot = part.rfind('.');
    const std::string extension = dot == std::string_view::npos ? std::string() : foldAscii(part.substr(dot + 1));
    for (pugi::xml_node n : types.children())
        if (isElement(n, kNsContentTypes, "Default") && foldAscii(n.attribute("Extension").value()) == extension)
            return n.attribute("ContentType").value();
    return {};
}

Status XlsxWorkbook::Impl::loadPart(XmlPart& part, std::uint64_t cap)
{
    part.entry = zip->find(part.name);
    if (!part.entry)
        return cannotOpen("its part " + quoteForMessage(part.name) + " is missing");
    part.name = zip->entryName(*part.entry);
    auto bytes = zip->read(*part.entry, cap);
    if (!bytes)
        return cannotOpen(bytes.error().message);
    if (auto parsed = parsePart(part.doc, *bytes, part.name); !parsed)
        return cannotOpen(parsed.error().message);
    part.prefix = std::string(prefixOf(part.doc.document_element()));
    return success();
}

namespace {
struct NumberAttribute {
    std::string_view list;    // child of the part's root
    std::string_view element; // child of the list
    const char* attribute;
};
constexpr NumberAttribute workbookNumbers[] = {{"sheets", "sheet", "sheetId"},
                                               {"definedNames", "definedName", "localSheetId"},
                                               {"bookViews", "workbookView", "activeTab"},
                                               {"bookViews", "workbookView", "firstSheet"}};
constexpr NumberAttribute styleNumbers[] = {{"numFmts", "numFmt", "numFmtId"}};

// Why the part cannot be edited, if an attribute the edit reads as a number is no unsignedInt.
std::optional<std::string> badNumber(std::string_view part, pugi::xml_node root,
                                     std::span<const NumberAttribute> numbers)
{
    for (const NumberAttribute& number : numbers) {
        for (pugi::xml_node n : firstChild(root, kNsMain, number.list).children()) {
            if (!isElement(n, kNsMain, number.element))
                continue;
            const pugi::xml_attribute a = n.attribute(number.attribute);
            if (!a || toUnsignedInt(a.value()))
                continue;
            std::string value = a.value();
            if (value.size() > 24)
                value = value.substr(0, 20) + "...";
            return "the attribute " + std::string(number.attribute) + "=\"" + value + "\" of a <" +
                   std::string(number.element) + "> in part '" + std::string(part) +
                   "' is not a whole number from 0 to " + std::to_string(kMaxUnsignedInt);
        }
    }
    return std::nullopt;
}
} // namespace

// Relationships of the workbook part by id: their type and the part they lead to.
using WorkbookRels = std::unordered_map<std::string, std::pair<std::string, std::string>>;

Status XlsxWorkbook::Impl::readWorkbook()
{
    contentTypes.name = "[Content_Types].xml";
    if (!zip->contains(contentTypes.name))
        return cannotOpen("it has no [Content_Types].xml, so it is not an Excel workbook (.xlsx)");
    if (auto s = loadPart(contentTypes, limits.maxPackagePartBytes); !s)
        return s;
    if (!isElement(contentTypes.doc.document_element(), kNsContentTypes, "Types"))
        return cannotOpen("its [Content_Types].xml is not a content type list");

    auto workbookPart = findWorkbookPart();
    if (!workbookPart)
        return workbookPart.error();
    auto sheets = readWorkbookPart(*workbookPart);
    if (!sheets)
        return sheets.error();
    WorkbookRels rels;
    if (auto s = readWorkbookRelationships(rels); !s)
        return s;
    if (auto s = readTabs(*sheets, rels); !s)
        return s;
    chooseActiveTab(workbook.doc.document_element());
    if (auto s = readStyles(); !s)
        return s;
    if (!sharedStrings)
        findUnrelatedSharedStrings();
    if (sharedStrings && (sharedStrings->related || zip->contains(sharedStrings->name)))
        if (auto s = readSharedStrings(); !s)
            return s;
    return readSheetHeads();
}

// The main part the package's relationships name.
Expected<std::string> XlsxWorkbook::Impl::findWorkbookPart()
{
    XmlPart rootRels;
    rootRels.name = "_rels/.rels";
    if (auto s = loadPart(rootRels, limits.maxPackagePartBytes); !s)
        return s.error();
    std::string workbookPart;
    for (pugi::xml_node n : rootRels.doc.document_element().children()) {
        if (!isElement(n, kNsPackageRels, "Relationship"))
            continue;
        const std::string_view type = n.attribute("Type").value();
        if (type == kRelOfficeDocumentStrict)
            return Error{"'" + displayName +
                         "' is saved as Strict Open XML, which this program does not edit; save it in Excel as an "
                         "Excel Workbook (.xlsx) and export again"};
        if (type == relType("officeDocument") && workbookPart.empty())
            workbookPart = resolveTarget("", n.attribute("Target").value());
    }
    if (workbookPart.empty())
        return cannotOpen("it names no workbook part");

    const std::string type = contentTypeOf(workbookPart);
    if (type == kCtXlsb)
        return Error{"'" + displayName +
                     "' is an Excel Binary Workbook (.xlsb), which this program does not edit; save it in Excel as an "
                     "Excel Workbook (.xlsx) and export again"};
    if (std::find(std::begin(workbookContentTypes), std::end(workbookContentTypes), type) ==
        std::end(workbookContentTypes))
        return cannotOpen("its main part is of type " + quoteForMessage(type) + ", not an Excel workbook");

    return workbookPart;
}

// The workbook part, checked; its list of sheets.
Expected<pugi::xml_node> XlsxWorkbook::Impl::readWorkbookPart(const std::string& workbookPart)
{
    workbook.name = workbookPart;
    if (auto s = loadPart(workbook, limits.maxPackagePartBytes); !s)
        return s.error();
    workbookFolder = folderOf(workbook.name);
    const pugi::xml_node root = workbook.doc.document_element();
    if (namespaceOf(root) == kNsMainStrict)
        return Error{"'" + displayName +
                     "' is saved as Strict Open XML, which this program does not edit; save it in Excel as an "
                     "Excel Workbook (.xlsx) and export again"};
    if (!isElement(root, kNsMain, "workbook"))
        return cannotOpen("its workbook part holds no workbook");
    if (const auto bad = badNumber(workbook.name, root, workbookNumbers))
        return cannotOpen(*bad);
    if (pugi::xml_node protection = firstChild(root, kNsMain, "workbookProtection");
        protection && attributeIsTrue(protection.attribute("lockStructure")))
        return Error{"'" + displayName +
                     "' has a protected workbook structure, so no sheet can be added; unprotect it in Excel "
                     "(Review > Protect Workbook) and export again"};
    const pugi::xml_node sheets = firstChild(root, kNsMain, "sheets");
    if (!sheets)
        return cannotOpen("its workbook part has no list of sheets");
    return sheets;
}

Status XlsxWorkbook::Impl::readWorkbookRelationships(WorkbookRels& rels)
{
    workbookRels.name = relsPartOf(workbook.name);
    if (zip->contains(workbookRels.name)) {
        if (auto s = loadPart(workbookRels, limits.maxPackagePartBytes); !s)
            return s;
        // Relationships added to a list in another namespace would not be found again.
        if (!isElement(workbookRels.doc.document_element(), kNsPackageRels, "Relationships"))
            return cannotOpen("its part '" + workbookRels.name + "' holds no relationships");
    } else {
        // Possible only for a workbook without sheets; created with the first relationship.
        workbookRels.doc.load_string(
            R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"/>)");
        workbookRels.changed = true;
    }
    for (pugi::xml_node n : workbookRels.doc.document_element().children()) {
        if (!isElement(n, kNsPackageRels, "Relationship") ||
            std::string_view(n.attribute("TargetMode").value()) == "External")
            continue;
        std::pair<std::string, std::string> rel{n.attribute("Type").value(),
                                                resolveTarget(workbookFolder, n.attribute("Target").value())};
        if (rel.first == relType("styles") && !styles) {
            styles.emplace();
            styles->name = rel.second;
        } else if (rel.first == relType("sharedStrings") && !sharedStrings) {
            sharedStrings.emplace();
            sharedStrings->name = rel.second;
        }
        rels.emplace(n.attribute("Id").value(), std::move(rel));
    }

    return success();
}

Status XlsxWorkbook::Impl::readTabs(pugi::xml_node sheets, const WorkbookRels& rels)
{
    for (pugi::xml_node n : sheets.children()) {
        if (!isElement(n, kNsMain, "sheet"))
            continue;
        Tab tab;
        tab.info.name = decodeEscapedUnits(n.attribute("name").value());
        const std::string_view state = n.attribute("state").value();
        tab.info.visible = state != "hidden" && state != "veryHidden";
        const pugi::xml_attribute relId = attributeNs(n, kNsOfficeRels, "id");
        if (relId && *relId.value() == '\0') {
            // A tab with nothing behind it, as Excel once saved one and opens again: it keeps its
            // place among the tabs, which positions count, and is neither read nor changed.
            tab.info.kind = SheetKind::Other;
            tabs.push_back(std::move(tab));
            continue;
        }
        const auto rel = rels.find(relId.value());
        if (rel == rels.end())
            return cannotOpen("its sheet " + quoteForMessage(tab.info.name) + " has no part");
        const std::string& relationType = rel->second.first;
        const auto endsWith = [&](std::string_view suffix) {
            return relationType.size() >= suffix.size() &&
                   relationType.compare(relationType.size() - suffix.size(), suffix.size(), suffix) == 0;
        };
        tab.info.kind = endsWith("/worksheet")    ? SheetKind::Worksheet
                        : endsWith("/chartsheet") ? SheetKind::Chartsheet
                                                  : SheetKind::Other;
        tab.part = rel->second.second;
        tab.entry = zip->find(tab.part);
        if (!tab.entry)
            return cannotOpen("the part " + quoteForMessage(tab.part) + " of its sheet " +
                              quoteForMessage(tab.info.name) + " is missing");
        tabs.push_back(std::move(tab));
    }

    return success();
}

void XlsxWorkbook::Impl::chooseActiveTab(pugi::xml_node root)
{
    // The active tab: workbookView[0]/@activeTab, 0 by default; one that does not exist or is
    // hidden (a generator's fault) becomes the first visible tab.
    std::size_t active = 0;
    if (pugi::xml_node views = firstChild(root, kNsMain, "bookViews"))
        if (pugi::xml_node view = firstChild(views, kNsMain, "workbookView"))
            active = toUnsignedInt(view.attribute("activeTab").value()).value_or(0);
    if (tabs.empty()) {
        this->active = -1;
    } else {
        if (active >= tabs.size() || !tabs[active].info.visible) {
            const auto visible = std::find_if(tabs.begin(), tabs.end(), [](const Tab& t) { return t.info.visible; });
            active = visible == tabs.end() ? 0 : static_cast<std::size_t>(visible - tabs.begin());
        }
        this->active = static_cast<int>(active);
    }
}

Status XlsxWorkbook::Impl::readStyles()
{
    if (styles) {
        if (auto s = loadPart(*styles, limits.maxStylesBytes); !s)
            return s;
        if (!isElement(styles->doc.document_element(), kNsMain, "styleSheet"))
            return cannotOpen("its part " + quoteForMessage(styles->name) + " holds no styles");
        if (const auto bad = badNumber(styles->name, styles->doc.document_element(), styleNumbers))
            return cannotOpen(*bad);
    }
    return success();
}

Status XlsxWorkbook::Impl::readSharedStrings()
{
    SharedStringsPart& part = *sharedStrings;
    part.entry = zip->find(part.name);
    if (!part.entry)
        return cannotOpen("its part " + quoteForMessage(part.name) + " is missing");
    part.name = zip->entryName(*part.entry);
    // An export adds a few kB of strings; a batch of them may take the copy at the end.
    auto bytes = zip->read(*part.entry, limits.maxSharedStringsBytes, std::size_t{256} * 1024);
    if (!bytes)
        return cannotOpen(bytes.error().message);
    auto strings = SharedStrings::read(std::move(bytes).value(), part.name);
    if (!strings)
        return cannotOpen(strings.error().message);
    part.strings = std::move(strings).value();
    return success();
}

// Shared strings that the content types name but no relationship leads to: readers that find
// the part by its content type (openpyxl, and pandas through it) take the first so named, so
// that one is used, and related, rather than a second one made beside it.
void XlsxWorkbook::Impl::findUnrelatedSharedStrings()
{
    for (pugi::xml_node n : contentTypes.doc.document_element().children()) {
        if (!isElement(n, kNsContentTypes, "Override") || n.attribute("ContentType").value() != kCtSharedStrings)
            continue;
        const std::string part = resolveTarget("", n.attribute("PartName").value());
        // A name an archive cannot keep is not made: a part of its own is made instead.
        if (part.empty() || !xlsx::zipKeepsName(part))
            continue;
        sharedStrings.emplace();
        sharedStrings->related = false;
        sharedStrings->name = part;
        // Named but not there: made under that name when a text is written.
        if (!zip->contains(part))
            sharedStrings->strings = std::move(SharedStrings::read(templateSharedStrings, part)).value();
        return;
    }
}

Status XlsxWorkbook::Impl::readSheetHeads()
{
    for (Tab& tab : tabs) {
        if (!tab.entry)
            continue;
        const auto scan = [](const std::string& head, bool complete) { return scanSheetViews(head, complete); };
        auto head = zip->readStart(*tab.entry, limits.maxSheetHeadBytes, [&](const std::string& h) {
            return scan(h, false).state != SheetViewScan::NeedMore;
        });
        if (!head)
            return cannotOpen(head.error().message);
        const bool complete = head->size() < limits.maxSheetHeadBytes;
        const SheetViewScan result = scan(*head, complete);
        switch (result.state) {
        case SheetViewScan::Doctype:
            return cannotOpen("part " + quoteForMessage(tab.part) +
                              " holds a document type declaration (DOCTYPE), which a workbook must not contain");
        case SheetViewScan::Utf16:
            return cannotOpen("part " + quoteForMessage(tab.part) +
                              " is stored as UTF-16, which this program does not edit");
        case SheetViewScan::NeedMore:
            return cannotOpen("the sheet views of part " + quoteForMessage(tab.part) +
                              " do not start within its first " + std::to_string(limits.maxSheetHeadBytes / 1024) +
                              " KB");
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
    auto d = std::make_unique<Impl>();
    d->displayName = std::move(displayName);
    d->original = std::make_unique<std::string>();
    d->zip.emplace(
        ZipArchive::fromParts({{"[Content_Types].xml", templateContentTypes},
                               {"_rels/.rels", templateRelationships(relType("officeDocument"), "xl/workbook.xml")},
                               {"xl/workbook.xml", templateWorkbook},
                               {"xl/_rels/workbook.xml.rels", templateRelationships(relType("styles"), "styles.xml")},
                               {"xl/styles.xml", templateStyles}}));
    if (auto s = d->readWorkbook(); !s)
        return s.error();
    d->syncTabInfos();
    return XlsxWorkbook(std::move(d));
}

const std::string& XlsxWorkbook::displayName() const
{
    return d->displayName;
}
const std::vector<SheetTab>& XlsxWorkbook::tabs() const
{
    return d->tabInfos;
}
int XlsxWorkbook::activeTab() const
{
    return d->active;
}
bool XlsxWorkbook::modified() const
{
    return d->modified;
}
const std::vector<std::string>& XlsxWorkbook::warnings() const
{
    return d->warnings;
}

} // namespace morvane
