#include "xlsx/sheetscan.h"

#include "common/text.h"
#include "xlsx/xmltokens.h"

namespace morvane::xlsx {
namespace {

// The two attributes the scan reads; a head of a megabyte of others then costs nothing.
bool keptAttribute(std::string_view name)
{
    return name == "workbookViewId" || name == "tabSelected";
}

} // namespace

SheetViewScan scanSheetViews(std::string_view xml, bool complete)
{
    SheetViewScan result;
    if (xml.size() >= 2 &&
        (xml[0] == '\0' || xml[1] == '\0' || (xml.substr(0, 2) == "\xFF\xFE") || (xml.substr(0, 2) == "\xFE\xFF"))) {
        result.state = SheetViewScan::Utf16;
        return result;
    }
    bool inViews = false;
    XmlScanner scanner(xml, 0, keptAttribute);
    for (;;) {
        const XmlToken& tag = scanner.next();
        if (tag.kind == XmlToken::End || tag.kind == XmlToken::Incomplete) {
            result.state = complete ? SheetViewScan::Done : SheetViewScan::NeedMore;
            return result;
        }
        if (tag.kind == XmlToken::Declaration) {
            result.state = SheetViewScan::Doctype;
            return result;
        }
        if (tag.kind != XmlToken::StartTag && tag.kind != XmlToken::EmptyTag && tag.kind != XmlToken::EndTag)
            continue;
        const bool closing = tag.kind == XmlToken::EndTag;
        const std::string_view name = localPart(tag.name);
        if (!inViews) {
            if (!closing && name == "sheetViews") {
                if (tag.kind == XmlToken::EmptyTag)
                    break;
                inViews = true;
            } else if (!closing && name == "sheetData") {
                break; // past the place of <sheetViews>
            }
            continue;
        }
        if (closing && name == "sheetViews")
            break;
        if (closing || name != "sheetView")
            continue;
        const XmlAttribute* selected = nullptr;
        bool viewZero = false;
        for (const XmlAttribute& a : tag.attributes) {
            if (a.name == "workbookViewId")
                viewZero = trimBlanks(a.value) == "0";
            else if (a.name == "tabSelected" && (trimBlanks(a.value) == "1" || trimBlanks(a.value) == "true"))
                selected = &a;
        }
        if (viewZero && selected)
            result.removals.emplace_back(selected->start, selected->end);
    }
    result.state = SheetViewScan::Done;
    return result;
}

} // namespace morvane::xlsx
