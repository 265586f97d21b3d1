#include "xlsx/workbookimpl.h"

#include "common/text.h"
#include "xlsx/sheetname.h"
#include "xlsx/sheetscan.h"
#include "xlsx/sheetxml.h"
#include "xlsx/xmlutil.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace morvane {

using namespace xlsx;

namespace {

void insertInOrder(pugi::xml_node parent, pugi::xml_node child, std::string_view name, const std::string_view* order,
                   std::size_t orderSize)
{
    const auto rank = [&](std::string_view n) {
        return static_cast<std::size_t>(std::find(order, order + orderSize, n) - order);
    };
    for (pugi::xml_node sibling : parent.children()) {
        if (sibling.type() == pugi::node_element && sibling != child && namespaceOf(sibling) == kNsMain &&
            rank(localName(sibling)) > rank(name)) {
            parent.insert_move_before(child, sibling);
            return;
        }
    }
}

void setCount(pugi::xml_node list, std::size_t count)
{
    if (pugi::xml_attribute a = list.attribute("count"))
        a.set_value(count);
    else
        list.prepend_attribute("count").set_value(count);
}

// --- Number and cell formats (styles part) ---

std::optional<std::uint64_t> findNumberFormat(pugi::xml_node numFmts, std::string_view format)
{
    for (pugi::xml_node n : numFmts.children())
        if (isElement(n, kNsMain, "numFmt") && format == n.attribute("formatCode").value())
            return toUnsignedInt(n.attribute("numFmtId").value()).value_or(0);
    return std::nullopt;
}

// One more than the highest id (ids up to 163 are Excel's own); past the largest unsignedInt,
// the smallest free one of ours.
std::uint64_t addNumberFormat(pugi::xml_node styleSheet, pugi::xml_node numFmts, const std::string& prefix,
                              std::string_view format)
{
    std::uint64_t highest = 163;
    std::vector<std::uint64_t> ids;
    for (pugi::xml_node n : numFmts.children()) {
        if (!isElement(n, kNsMain, "numFmt"))
            continue;
        ids.push_back(toUnsignedInt(n.attribute("numFmtId").value()).value_or(0));
        highest = std::max(highest, ids.back());
    }
    if (!numFmts)
        numFmts = styleSheet.prepend_child(qualified(prefix, "numFmts").c_str());
    std::uint64_t formatId = highest + 1;
    if (formatId > kMaxUnsignedInt)
        for (formatId = 164; std::find(ids.begin(), ids.end(), formatId) != ids.end();)
            ++formatId;
    pugi::xml_node n = numFmts.append_child(qualified(prefix, "numFmt").c_str());
    n.append_attribute("numFmtId").set_value(formatId);
    n.append_attribute("formatCode").set_value(std::string(format).c_str());
    std::size_t count = 0;
    for (pugi::xml_node c : numFmts.children())
        count += isElement(c, kNsMain, "numFmt");
    setCount(numFmts, count);
    return formatId;
}

// The id of the number format with this code, added if the styles have none.
std::uint64_t numberFormatId(pugi::xml_node styleSheet, const std::string& prefix, std::string_view format)
{
    const pugi::xml_node numFmts = firstChild(styleSheet, kNsMain, "numFmts");
    if (const auto id = findNumberFormat(numFmts, format))
        return *id;
    return addNumberFormat(styleSheet, numFmts, prefix, format);
}

// Excel counts an <mc:AlternateContent> in <cellXfs> as one cell format: the choice it
// understands. Indexes and the count follow that, or new cells would take another's format.
bool isCellFormat(pugi::xml_node n)
{
    return isElement(n, kNsMain, "xf") || isElement(n, kNsMarkupCompatibility, "AlternateContent");
}

// The entries of <cellXfs>, both created when missing: cell formats are counted from a default
// one.
std::vector<pugi::xml_node> cellFormats(pugi::xml_node cellXfs, const std::string& prefix)
{
    std::vector<pugi::xml_node> xfs;
    for (pugi::xml_node n : cellXfs.children())
        if (isCellFormat(n))
            xfs.push_back(n);
    if (xfs.empty()) {
        pugi::xml_node xf = cellXfs.append_child(qualified(prefix, "xf").c_str());
        for (const char* name : {"numFmtId", "fontId", "fillId", "borderId", "xfId"})
            xf.append_attribute(name).set_value(0);
        xfs.push_back(xf);
    }
    return xfs;
}

// A copy of the first cell format to give the number format to: of a wrapped one, its
// fallback without the attributes of namespaces bound on the wrapper.
pugi::xml_node copyOfFirstFormat(pugi::xml_document& scratch, pugi::xml_node entry, const std::string& prefix)
{
    if (isElement(entry, kNsMain, "xf"))
        return scratch.append_copy(entry);
    pugi::xml_node plain;
    for (pugi::xml_node branch : entry.children())
        for (pugi::xml_node xf : branch.children())
            if (isElement(xf, kNsMain, "xf") && (!plain || localName(branch) == "Fallback"))
                plain = xf;
    pugi::xml_node copy = plain ? scratch.append_copy(plain) : scratch.append_child(qualified(prefix, "xf").c_str());
    for (pugi::xml_attribute a = copy.first_attribute(); a;) {
        const pugi::xml_attribute next = a.next_attribute();
        if (std::string_view(a.name()).find(':') != std::string_view::npos)
            copy.remove_attribute(a);
        a = next;
    }
    return copy;
}

pugi::xml_node cellFormatList(pugi::xml_node styleSheet, const std::string& prefix)
{
    pugi::xml_node cellXfs = firstChild(styleSheet, kNsMain, "cellXfs");
    if (!cellXfs) {
        cellXfs = styleSheet.append_child(qualified(prefix, "cellXfs").c_str());
        insertInOrder(styleSheet, cellXfs, "cellXfs", std::begin(styleSheetOrder), std::size(styleSheetOrder));
    }
    return cellXfs;
}

void giveNumberFormat(pugi::xml_node xf, std::uint64_t formatId)
{
    for (const auto& [name, value] :
         {std::pair<const char*, std::string>{"numFmtId", std::to_string(formatId)}, {"applyNumberFormat", "1"}}) {
        if (pugi::xml_attribute a = xf.attribute(name))
            a.set_value(value.c_str());
        else
            xf.append_attribute(name).set_value(value.c_str());
    }
}

// The index of the cell format Excel makes when a number format is given to default cells: a
// copy of xf 0 with the format. Added when there is none yet; nullopt when the list is full.
std::optional<int> cellFormatIndex(pugi::xml_node styleSheet, const std::string& prefix, std::uint64_t formatId)
{
    pugi::xml_node cellXfs = cellFormatList(styleSheet, prefix);
    const std::vector<pugi::xml_node> xfs = cellFormats(cellXfs, prefix);
    pugi::xml_document scratch;
    const pugi::xml_node candidate = copyOfFirstFormat(scratch, xfs.front(), prefix);
    giveNumberFormat(candidate, formatId);
    const std::string wanted = serialize(candidate);
    for (std::size_t i = 0; i < xfs.size(); ++i)
        if (serialize(xfs[i]) == wanted)
            return static_cast<int>(i);
    if (xfs.size() >= static_cast<std::size_t>(kMaxCellFormats))
        return std::nullopt;
    cellXfs.append_copy(candidate);
    setCount(cellXfs, xfs.size() + 1);
    return static_cast<int>(xfs.size());
}

// --- The new sheet in the workbook part ---

// One more than the highest sheet id; past the largest id Excel's file format can hold, the
// smallest free one.
std::uint64_t newSheetId(pugi::xml_node sheets)
{
    std::uint64_t highest = 0;
    std::vector<std::uint64_t> ids;
    for (pugi::xml_node n : sheets.children()) {
        if (!isElement(n, kNsMain, "sheet"))
            continue;
        ids.push_back(toUnsignedInt(n.attribute("sheetId").value()).value_or(0));
        highest = std::max(highest, ids.back());
    }
    if (highest + 1 <= 65535)
        return highest + 1;
    std::uint64_t id = 1;
    while (std::find(ids.begin(), ids.end(), id) != ids.end())
        ++id;
    return id;
}

// The <sheet> element at `position`, or null past the last.
pugi::xml_node sheetAt(pugi::xml_node sheets, std::size_t position)
{
    std::size_t index = 0;
    for (pugi::xml_node n : sheets.children())
        if (isElement(n, kNsMain, "sheet") && index++ == position)
            return n;
    return {};
}

void insertSheetElement(pugi::xml_node sheets, std::size_t position, const std::string& name, std::uint64_t sheetId,
                        const std::string& relId)
{
    const pugi::xml_node before = sheetAt(sheets, position);
    const std::string mainPrefix(prefixOf(sheets));
    pugi::xml_node element = before ? sheets.insert_child_before(qualified(mainPrefix, "sheet").c_str(), before)
                                    : sheets.append_child(qualified(mainPrefix, "sheet").c_str());
    element.append_attribute("name").set_value(encodeEscapedUnits(name).c_str());
    element.append_attribute("sheetId").set_value(sheetId);
    std::string relPrefix;
    if (!findPrefix(sheets, kNsOfficeRels, relPrefix) || relPrefix.empty()) {
        relPrefix = "r";
        element.append_attribute("xmlns:r").set_value(std::string(kNsOfficeRels).c_str());
    }
    element.append_attribute((relPrefix + ":id").c_str()).set_value(relId.c_str());
}

// Tab positions in the workbook part at or after the new sheet move on; one that names no tab
// (a generator's fault) is left as it is.
bool shiftsOn(std::optional<std::uint32_t> tab, std::size_t position, std::size_t tabCount)
{
    return tab && *tab >= position && *tab < tabCount;
}

// Names scoped to a sheet hold its position.
void shiftLocalNames(pugi::xml_node root, std::size_t position, std::size_t tabCount)
{
    if (pugi::xml_node names = firstChild(root, kNsMain, "definedNames"))
        for (pugi::xml_node n : names.children())
            if (isElement(n, kNsMain, "definedName"))
                if (pugi::xml_attribute local = n.attribute("localSheetId"))
                    if (const auto id = toUnsignedInt(local.value()); shiftsOn(id, position, tabCount))
                        local.set_value(std::uint64_t{*id} + 1);
}

// The first workbook view shows the new tab, and keeps it in sight.
void activateNewTab(pugi::xml_node view, std::size_t position)
{
    pugi::xml_attribute activeTab = view.attribute("activeTab");
    if (!activeTab)
        activeTab = view.append_attribute("activeTab");
    activeTab.set_value(position);
    pugi::xml_attribute firstSheet = view.attribute("firstSheet");
    if (firstSheet && toUnsignedInt(firstSheet.value()).value_or(0) > position)
        firstSheet.set_value(position);
}

// Any further view goes on showing the tabs it showed, which the new one moved on.
void keepShownTabs(pugi::xml_node view, std::size_t position, std::size_t tabCount)
{
    pugi::xml_attribute activeTab = view.attribute("activeTab");
    if (const auto tab = toUnsignedInt(activeTab.value()); activeTab && shiftsOn(tab, position, tabCount))
        activeTab.set_value(std::uint64_t{*tab} + 1);
    pugi::xml_attribute firstSheet = view.attribute("firstSheet");
    if (const auto first = toUnsignedInt(firstSheet.value()); firstSheet && shiftsOn(first, position + 1, tabCount))
        firstSheet.set_value(std::uint64_t{*first} + 1);
}

void showNewTab(pugi::xml_node root, pugi::xml_node sheets, std::size_t position, std::size_t tabCount)
{
    pugi::xml_node views = firstChild(root, kNsMain, "bookViews");
    if (!views) {
        const std::string mainPrefix(prefixOf(sheets));
        views = root.insert_child_before(qualified(mainPrefix, "bookViews").c_str(), sheets);
        views.append_child(qualified(mainPrefix, "workbookView").c_str());
    }
    bool first = true;
    for (pugi::xml_node view : views.children()) {
        if (!isElement(view, kNsMain, "workbookView"))
            continue;
        if (first)
            activateNewTab(view, position);
        else
            keepShownTabs(view, position, tabCount);
        first = false;
    }
}

// A new sheet's part, given whether it is the selected tab: as writeRange made it where that
// is what it assumed (taken, not copied: it may be megabytes), otherwise with the other start.
std::string worksheetXml(xlsx::NewSheet& sheet, bool selected)
{
    if (sheet.written && sheet.selected == selected)
        return std::exchange(sheet.xml, std::string());
    std::string out;
    if (!sheet.written) {
        xlsx::appendWorksheetStart(out, sheet.dimension, selected);
        out += "<sheetData/>";
        xlsx::appendWorksheetEnd(out);
        return out;
    }
    // What follows the start: the <sheetData> and the end.
    const std::string_view rest = std::string_view(sheet.xml).substr(sheet.startLength);
    out.reserve(rest.size() + 512);
    xlsx::appendWorksheetStart(out, sheet.dimension, selected);
    out += rest;
    return out;
}

} // namespace

bool XlsxWorkbook::Impl::partNameTaken(std::string_view part) const
{
    if (zip->contains(part))
        return true;
    const std::string folded = foldAscii(part);
    for (const auto& sheet : newSheets)
        if (foldAscii(sheet.part) == folded)
            return true;
    for (const std::string* created :
         {styles ? &styles->name : nullptr, sharedStrings ? &sharedStrings->name : nullptr})
        if (created && foldAscii(*created) == folded)
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
    std::uint64_t highest = 0;
    std::vector<std::string> ids;
    for (pugi::xml_node n : workbookRels.doc.document_element().children()) {
        if (!isElement(n, kNsPackageRels, "Relationship"))
            continue;
        const std::string_view id = n.attribute("Id").value();
        ids.emplace_back(id);
        if (id.substr(0, 3) == "rId")
            if (const auto number = toUnsignedInt(id.substr(3)))
                highest = std::max<std::uint64_t>(highest, *number);
    }
    // Ids are names, so one past the largest number starts the count again.
    for (std::uint64_t m = highest < kMaxUnsignedInt ? highest + 1 : 1;; ++m) {
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

// Relative to the workbook's folder where the part lies in it, else from the package's root.
std::string XlsxWorkbook::Impl::relationshipTarget(std::string_view part) const
{
    if (part.substr(0, workbookFolder.size()) == workbookFolder)
        return std::string(part.substr(workbookFolder.size()));
    return "/" + std::string(part);
}

std::string XlsxWorkbook::Impl::registerPart(std::string_view part, std::string_view kind, std::string_view contentType)
{
    std::string id = newRelationshipId();
    addRelationship(id, relType(kind), relationshipTarget(part));
    addOverride(part, contentType);
    return id;
}

void XlsxWorkbook::Impl::createPart(std::optional<XmlPart>& part, std::string_view kind, const char* xml,
                                    std::string_view contentType)
{
    part.emplace();
    part->name = freePartName(workbookFolder, kind, false);
    part->doc.load_string(xml, pugi::parse_default | pugi::parse_declaration);
    registerPart(part->name, kind, contentType);
}

Expected<int> XlsxWorkbook::Impl::styleFor(std::string_view format)
{
    if (const auto it = styleForFormat.find(std::string(format)); it != styleForFormat.end())
        return it->second;
    if (!styles)
        createPart(styles, "styles", templateStyles, kCtStyles);
    const pugi::xml_node styleSheet = styles->doc.document_element();
    const std::uint64_t formatId = numberFormatId(styleSheet, styles->prefix, format);
    const std::optional<int> index = cellFormatIndex(styleSheet, styles->prefix, formatId);
    if (!index)
        return Error{"'" + displayName + "' already holds " + std::to_string(kMaxCellFormats) +
                     " cell formats, the most Excel allows; no format can be added"};
    styles->changed = true;
    styleForFormat.emplace(std::string(format), *index);
    return *index;
}

std::size_t XlsxWorkbook::Impl::sharedString(const std::string& text)
{
    if (!sharedStrings) {
        sharedStrings.emplace();
        sharedStrings->name = freePartName(workbookFolder, "sharedStrings", false);
        sharedStrings->strings = std::move(SharedStrings::read(templateSharedStrings, sharedStrings->name)).value();
        registerPart(sharedStrings->name, "sharedStrings", kCtSharedStrings);
    } else if (!sharedStrings->related) {
        addRelationship(newRelationshipId(), relType("sharedStrings"), relationshipTarget(sharedStrings->name));
        sharedStrings->related = true;
    }
    return sharedStrings->strings.use(encodeEscapedUnits(text));
}

Expected<std::string> XlsxWorkbook::Impl::newSheetName(std::string_view wantedName, std::string_view defaultBase) const
{
    const auto taken = [&](std::string_view name) {
        return std::any_of(tabs.begin(), tabs.end(), [&](const Tab& t) { return sameSheetName(t.info.name, name); });
    };
    std::string name(wantedName);
    if (name.empty()) {
        for (std::size_t n = tabs.size() + 1; name.empty() || taken(name); ++n)
            name = std::string(defaultBase) + std::to_string(n);
        return name;
    }
    if (auto valid = checkSheetName(name); !valid)
        return valid.error();
    if (taken(name))
        return Error{"Cannot add a sheet named '" + name + "' to '" + displayName +
                     "': that name is already taken. Try a different one."};
    return name;
}

void XlsxWorkbook::Impl::insertNewTab(std::string name, std::string part, std::size_t position)
{
    Tab tab;
    tab.info.name = std::move(name);
    tab.part = part;
    tab.added = static_cast<int>(newSheets.size());
    NewSheet sheet;
    sheet.part = std::move(part);
    newSheets.push_back(std::move(sheet));
    tabs.insert(tabs.begin() + static_cast<std::ptrdiff_t>(position), std::move(tab));
    active = static_cast<int>(position);
    modified = true;
    syncTabInfos();
}

Expected<std::string> XlsxWorkbook::addSheet(std::string_view wantedName, std::string_view defaultBase)
{
    if (!d->zip)
        return Error{"'" + d->displayName + "' was already saved"};
    auto name = d->newSheetName(wantedName, defaultBase);
    if (!name)
        return name;
    // The save this change leads to copies parts unread; a workbook made here has none.
    if (!d->checksums && !d->original->empty())
        d->checksums = std::make_unique<ChecksumCheck>(*d->original);

    pugi::xml_node root = d->workbook.doc.document_element();
    pugi::xml_node sheets = firstChild(root, kNsMain, "sheets");
    const std::size_t position = d->newSheetPosition(*name);
    const std::uint64_t sheetId = newSheetId(sheets);
    std::string part = d->freePartName(d->workbookFolder + "worksheets/", "sheet", true);
    const std::string relId = d->registerPart(part, "worksheet", kCtWorksheet);
    insertSheetElement(sheets, position, *name, sheetId, relId);
    shiftLocalNames(root, position, d->tabs.size());
    showNewTab(root, sheets, position, d->tabs.size());
    d->workbook.changed = true;
    d->insertNewTab(*name, std::move(part), position);
    return name;
}

Status XlsxWorkbook::writeRange(int firstCol, int lastCol, int firstRow, int lastRow, const ValueBlock& block,
                                std::string_view numberFormat)
{
    if (!d->zip)
        return Error{"'" + d->displayName + "' was already saved"};
    if (firstCol < 1 || firstRow < 1 || lastCol < firstCol || lastRow < firstRow || lastCol > kMaxSheetCols ||
        lastRow > kMaxSheetRows)
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
        return Error{"The active sheet " + quoteForMessage(tab.info.name) + " of '" + d->displayName +
                     "' was already there; this program writes only into a sheet it has just added."};
    NewSheet& sheet = d->newSheets[static_cast<std::size_t>(tab.added)];
    if (sheet.written)
        return Error{"The sheet " + quoteForMessage(tab.info.name) + " has already been written."};
    if (auto valid = checkValues(block, firstRow, firstCol); !valid)
        return valid;
    auto style = d->styleFor(numberFormat);
    if (!style)
        return style.error();
    sheet.dimension = cellReference(firstRow, firstCol);
    if (lastRow != firstRow || lastCol != firstCol)
        sheet.dimension += ":" + cellReference(lastRow, lastCol);
    // The part is made whole here, in one string: the sheet being written is the active one,
    // which is the selected tab when the workbook is saved unless another is activated before.
    sheet.selected = true;
    sheet.xml.clear();
    sheet.xml.reserve(sheetDataSizeHint(block) + 512);
    appendWorksheetStart(sheet.xml, sheet.dimension, sheet.selected);
    sheet.startLength = sheet.xml.size();
    appendSheetData(sheet.xml, block, firstRow, firstCol, *style,
                    [&](const std::string& text) { return d->sharedString(text); });
    appendWorksheetEnd(sheet.xml);
    sheet.written = true;
    return success();
}

Expected<std::string> XlsxWorkbook::save(int compressionLevel)
{
    if (!d->zip)
        return Error{"'" + d->displayName + "' was already saved"};
    if (!d->modified && !d->original->empty())
        return *d->original;
    const auto failed = [&](const std::string& reason) {
        d->zip.reset();
        return Error{"'" + d->displayName + "' cannot be saved: " + reason};
    };
    ZipArchive& zip = *d->zip;

    if (d->sharedStrings && d->sharedStrings->strings.changed()) {
        std::string xml = d->sharedStrings->strings.finish();
        if (d->sharedStrings->entry)
            zip.replace(*d->sharedStrings->entry, std::move(xml));
        else
            zip.add(d->sharedStrings->name, std::move(xml));
    }
    for (XmlPart* part : {&d->contentTypes, &d->workbook, &d->workbookRels, d->styles ? &*d->styles : nullptr}) {
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
            NewSheet& sheet = d->newSheets[static_cast<std::size_t>(tab.added)];
            zip.add(sheet.part, worksheetXml(sheet, static_cast<int>(i) == d->active));
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
    std::vector<std::size_t> copied;
    for (std::size_t i = 0; i < zip.entryCount(); ++i)
        if (!zip.changed(i))
            copied.push_back(i);
    auto bytes = zip.commit(compressionLevel);
    d->zip.reset();
    if (!bytes)
        return Error{"'" + d->displayName + "' cannot be saved: " + bytes.error().message};
    // Copied parts went into the new file as they were stored: a checksum that does not match
    // would pass unnoticed.
    if (!d->checksums)
        return bytes;
    const auto& damaged = d->checksums->damaged();
    for (const std::size_t i : copied) {
        const auto reason = damaged.find(i);
        if (reason == damaged.end())
            continue;
        const auto tab = std::find_if(d->tabs.begin(), d->tabs.end(), [&](const Tab& t) { return t.entry == i; });
        d->warnings.push_back("'" + d->displayName + "': " + reason->second +
                              (tab == d->tabs.end() ? "" : " (it holds the sheet '" + tab->info.name + "')") +
                              "; it was copied as it was, and Excel may offer to repair the workbook");
    }
    return bytes;
}

} // namespace morvane
