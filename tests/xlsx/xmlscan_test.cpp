// The parts read without a tree: the tokens, the sheet views of an existing sheet read in
// pieces, the sheet spans of its formulas, and the shared strings table.

#include "xlsx/sharedstrings.h"
#include "xlsx/sheetscan.h"
#include "xlsx/sheetspans.h"
#include "xlsx/xmltokens.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <string>
#include <vector>

using namespace morvane::xlsx;

namespace {

struct Seen {
    XmlToken::Kind kind;
    std::size_t begin, end;
    bool malformed;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> tokens(std::string_view xml)
{
    std::vector<Seen> out;
    XmlScanner scanner(xml);
    for (;;) {
        const XmlToken& t = scanner.next();
        out.push_back({t.kind, t.begin, t.end, t.malformed});
        if (t.kind == XmlToken::End || t.kind == XmlToken::Incomplete)
            return out;
    }
}

const std::string mainNs = R"( xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";

} // namespace

TEST(XmlTokens, EveryKindAndWhatMakesATagMalformed)
{
    const std::string xml = "<?xml version=\"1.0\"?><!-- a > b --><a x='1' y = \"2>\">t&amp;<![CDATA[<]]><b/>"
                            "</a><!DOCTYPE x><?pi data?>";
    std::vector<XmlToken::Kind> kinds;
    for (const Seen& s : tokens(xml))
        kinds.push_back(s.kind);
    EXPECT_EQ(kinds, (std::vector<XmlToken::Kind>{XmlToken::Instruction, XmlToken::Comment, XmlToken::StartTag,
                                                  XmlToken::Text, XmlToken::CData, XmlToken::EmptyTag, XmlToken::EndTag,
                                                  XmlToken::Declaration, XmlToken::Instruction, XmlToken::End}));
    XmlScanner scanner(xml);
    scanner.next();
    scanner.next();
    const XmlToken& a = scanner.next();
    ASSERT_EQ(a.attributes.size(), 2u);
    EXPECT_EQ(a.attributes[1].name, "y");
    EXPECT_EQ(a.attributes[1].value, "2>"); // a '>' in quotes does not end the tag
    EXPECT_EQ(xml.substr(a.attributes[1].start, a.attributes[1].end - a.attributes[1].start), " y = \"2>\"");

    const std::pair<const char*, bool> tags[] = {
        {"<a b='1' c=\"2\"/>", false}, {"<a b>", true}, {"<a b=c>", true}, {"<a b=\"1\"c=\"2\">", true},
        {"</a x=\"1\">", true},        {"<>", true},    {"</a/>", true},   {"<a/ >", true},
        {"<a\n\tb\n=\n'1'\n>", false},
    };
    for (const auto& [tag, malformed] : tags)
        EXPECT_EQ(XmlScanner(tag).next().malformed, malformed) << tag;
    // A declaration that never ends still is one: every caller refuses them.
    EXPECT_EQ(XmlScanner("<!DOCTYPE x [").next().kind, XmlToken::Declaration);
}

// A reader keeps the attributes it reads and counts the rest, so that a tag of millions of them
// costs nothing.
TEST(XmlTokens, OnlyTheAttributesAReaderKeepsAreStored)
{
    std::string tag = "<si count=\"1\"";
    for (int i = 0; i < 1000; ++i)
        tag += " a=\"\"";
    tag += " xmlns:x=\"u\"/>";
    XmlScanner scanner(tag, 0, [](std::string_view name) { return name == "count" || name.starts_with("xmlns"); });
    const XmlToken& token = scanner.next();
    EXPECT_EQ(token.kind, XmlToken::EmptyTag);
    EXPECT_EQ(token.attributeCount, 1002u);
    ASSERT_EQ(token.attributes.size(), 2u);
    EXPECT_EQ(token.attributes[1].name, "xmlns:x");
    EXPECT_EQ(XmlScanner(tag).next().attributes.size(), 1002u);
}

// Read in pieces, a text gives the tokens of the whole up to the cut, then Incomplete (or a
// text or declaration cut short): never a token the whole does not have.
TEST(XmlTokens, ATextCutAnywhereGivesTheTokensOfTheWholeThenIncomplete)
{
    const std::string xml = "<?xml version=\"1.0\"?>\n<ws><!-- c --><sheetViews><sheetView tabSelected=\"1\" "
                            "workbookViewId=\"0\"/></sheetViews><![CDATA[x]]><!DOCTYPE y>text</ws>";
    const std::vector<Seen> whole = tokens(xml);
    for (std::size_t cut = 0; cut <= xml.size(); ++cut) {
        const std::vector<Seen> part = tokens(std::string_view(xml).substr(0, cut));
        for (std::size_t i = 0; i + 1 < part.size(); ++i) {
            const bool cutShort =
                (part[i].kind == XmlToken::Text || part[i].kind == XmlToken::Declaration) && part[i].end == cut;
            if (cutShort)
                EXPECT_EQ(std::pair(part[i].kind, part[i].begin), std::pair(whole[i].kind, whole[i].begin)) << cut;
            else
                EXPECT_EQ(part[i], whole[i]) << "cut at " << cut << ", token " << i;
        }
        const Seen& last = part.back();
        const std::size_t before = part.size() >= 2 ? part[part.size() - 2].end : 0;
        EXPECT_TRUE(last.kind == XmlToken::Incomplete || (last.kind == XmlToken::End && before == cut)) << cut;
    }
}

// The head of a sheet arrives in chunks: each prefix either asks for more or gives the answer
// of the whole.
TEST(SheetScan, EveryPrefixAsksForMoreOrAnswersAsTheWhole)
{
    const std::string sheet = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<x:worksheet" + mainNs +
                              "><x:dimension ref=\"A1\"/><!-- <sheetViews> --><x:sheetViews>"
                              "<x:sheetView tabSelected=\"1\" workbookViewId=\"0\"><x:selection/></x:sheetView>"
                              "<x:sheetView tabSelected='true' workbookViewId=\"1\"/></x:sheetViews>"
                              "<x:sheetData/></x:worksheet>";
    const SheetViewScan whole = scanSheetViews(sheet, true);
    ASSERT_EQ(whole.state, SheetViewScan::Done);
    ASSERT_EQ(whole.removals.size(), 1u);
    EXPECT_EQ(sheet.substr(whole.removals[0].first, whole.removals[0].second - whole.removals[0].first),
              " tabSelected=\"1\"");
    for (std::size_t cut = 0; cut < sheet.size(); ++cut) {
        const SheetViewScan part = scanSheetViews(std::string_view(sheet).substr(0, cut), false);
        if (part.state != SheetViewScan::NeedMore) {
            EXPECT_EQ(part.state, SheetViewScan::Done) << cut;
            EXPECT_EQ(part.removals, whole.removals) << cut;
        }
    }
    EXPECT_EQ(scanSheetViews("<worksheet><!DOCTYPE x><sheetViews/></worksheet>", true).state, SheetViewScan::Doctype);
    EXPECT_EQ(scanSheetViews(std::string("<\0w\0", 4), true).state, SheetViewScan::Utf16);
}

TEST(SharedStrings, RefusesWhatIsNoTableOfSharedStrings)
{
    const std::string sst = "<sst" + mainNs + ">";
    const std::pair<std::string, std::string> cases[] = {
        {"<sst xmlns=\"urn:other\"/>", "part 'sst.xml' holds no shared strings"},
        {"<x:sst xmlns=\"" + mainNs.substr(8, mainNs.size() - 9) + "\"/>", "holds no shared strings"},
        {"<!DOCTYPE sst><sst" + mainNs + "/>", "holds a document type declaration (DOCTYPE)"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + sst + "</sst>",
         "part 'sst.xml' is encoded as ISO-8859-1; this program edits it only in UTF-8"},
        {"\xFF\xFE<\0s\0", "part 'sst.xml' is stored as UTF-16"},
        {sst + "<si><t>a</si></sst>", "is not well-formed XML (an end tag that does not match its start tag at byte"},
        {sst + "<si><t>a</t></si>", "(the root element does not end at byte"},
        {sst + "<si><t>a</t>", "(the element <si> does not end at byte"},
        {sst + "</sst>x", "(content after the root element at byte"},
        {"x" + sst + "</sst>", "(text before the root element at byte 0)"},
        {sst + "<si b><t>a</t></si></sst>", "(a malformed tag at byte"},
        {"", "(no root element at byte 0)"},
    };
    for (const auto& [xml, message] : cases) {
        auto read = SharedStrings::read(xml, "sst.xml");
        ASSERT_FALSE(read.ok()) << xml;
        EXPECT_NE(read.error().message.find(message), std::string::npos) << read.error().message;
    }
}

// Only a lone <t> holding text is a string to reuse; everything else counts but is never matched.
TEST(SharedStrings, ReusesPlainStringsAndCountsEveryOne)
{
    const std::string xml =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<x:sst xmlns:x=" + mainNs.substr(7) +
        " count=\"40\">"
        "<x:si><x:t>plain</x:t></x:si>"                          // 0
        "<x:si><x:t xml:space=\"preserve\"> sp </x:t></x:si>"    // 1
        "<x:si><x:r><x:t>rich</x:t></x:r></x:si>"                // 2
        "<x:si><x:t>a&amp;b &#x41;&#66;&lt;</x:t></x:si>"        // 3
        "<x:si><x:t><![CDATA[x<y]]></x:t></x:si>"                // 4
        "<x:si><x:t>line\r\nend</x:t></x:si>"                    // 5
        "<x:si><x:t>plain</x:t></x:si>"                          // 6
        "<x:si><x:t>one</x:t><x:rPh><x:t>o</x:t></x:rPh></x:si>" // 7
        "<x:si><x:t>c<!-- -->d</x:t></x:si>"                     // 8
        "<x:si><x:t>&bogus;</x:t></x:si>"                        // 9
        "<x:si/>"                                                // 10
        "<x:extLst><x:si><x:t>deep</x:t></x:si></x:extLst>"      // not a string
        "<x:si xmlns:x=\"urn:other\"><x:t>other</x:t></x:si>"    // not one either
        "<x:si>\n <x:t>spaced</x:t>\n</x:si>"                    // 11
        "</x:sst>\n<!-- end -->";
    auto read = SharedStrings::read(xml, "sst.xml");
    ASSERT_TRUE(read.ok()) << read.error().message;
    SharedStrings strings = std::move(read).value();
    EXPECT_EQ(strings.count(), 12u);
    EXPECT_FALSE(strings.changed());
    const std::pair<std::string, std::size_t> uses[] = {
        {"plain", 0},   {" sp ", 1},   {"a&b AB<", 3}, {"x<y", 4},   {"line\nend", 5},
        {"spaced", 11}, {"rich", 12},  {"one", 13},    {"cd", 14},   {"&bogus;", 15},
        {"deep", 16},   {"other", 17}, {"plain", 0},   {"rich", 12}, {"<new> & ", 18},
    };
    for (const auto& [text, index] : uses)
        EXPECT_EQ(strings.use(text), index) << text;
    EXPECT_EQ(strings.count(), 19u);
    EXPECT_TRUE(strings.changed());

    const std::string saved = strings.finish();
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(saved.c_str(), pugi::parse_default | pugi::parse_ws_pcdata));
    const pugi::xml_node root = doc.document_element();
    EXPECT_STREQ(root.attribute("count").value(), "55"); // 40 and one per use
    EXPECT_STREQ(root.attribute("uniqueCount").value(), "19");
    std::vector<std::string> added;
    for (pugi::xml_node si : root.children("x:si"))
        if (pugi::xml_node t = si.child("x:t"); t && si.first_child() == t && !t.next_sibling())
            added.push_back(t.child_value());
    ASSERT_GE(added.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(added.end() - 7, added.end()),
              (std::vector<std::string>{"rich", "one", "cd", "&bogus;", "deep", "other", "<new> & "}));
    EXPECT_NE(saved.find("<x:si><x:t xml:space=\"preserve\">&lt;new&gt; &amp; </x:t></x:si></x:sst>\n<!-- end -->"),
              std::string::npos);
    EXPECT_EQ(saved.substr(0, 3), "\xEF\xBB\xBF");
}

TEST(SharedStrings, CountsAreWrittenWhereverTheRootHasThem)
{
    const struct {
        std::string root;
        std::string saved;
    } cases[] = {
        {"<sst" + mainNs + "/>", "<sst uniqueCount=\"1\"" + mainNs + "><si><t>a</t></si></sst>"},
        {"<sst" + mainNs + " count=\"7\" uniqueCount=\"0\"></sst>",
         "<sst" + mainNs + " count=\"9\" uniqueCount=\"1\"><si><t>a</t></si></sst>"},
        {"<sst count='4294967295'" + mainNs + " />",
         "<sst uniqueCount=\"1\" count='4294967295'" + mainNs + " ><si><t>a</t></si></sst>"},
        {"<sst count=\"many\"" + mainNs + "></sst>",
         "<sst uniqueCount=\"1\" count=\"2\"" + mainNs + "><si><t>a</t></si></sst>"},
    };
    for (const auto& c : cases) {
        auto read = SharedStrings::read(c.root, "sst.xml");
        ASSERT_TRUE(read.ok()) << read.error().message;
        EXPECT_EQ(read->use("a"), 0u);
        EXPECT_EQ(read->use("a"), 0u);
        EXPECT_EQ(read->finish(), c.saved);
    }
}

TEST(SheetSpans, OnlyTheSpansOfThisWorkbooksSheetsAreFound)
{
    const struct {
        const char* formula;
        std::vector<SheetSpan> spans;
    } cases[] = {
        {"SUM(Jan:Mar!C2)", {{"Jan", "Mar"}}},
        {"SUM(Jan:Mar!C2:D3)+AVERAGE(Q_1.a:Q_4.b!A1)", {{"Jan", "Mar"}, {"Q_1.a", "Q_4.b"}}},
        {"SUM('Jan 1:Mar''s'!A1)", {{"Jan 1", "Mar's"}}},
        {"SUM(Jän:März!A1)", {{"Jän", "März"}}},
        {"Jan!A1:B2+'Feb'!A1+SUM(1:3)+A1:B2", {}},
        {"\"Jan:Mar!\"&A1", {}},
        {"[1]Jan:Mar!A1+'C:\\x\\[b.xlsx]Jan:Mar'!A1", {}},
        {"SUM(Table1[[#This Row],[a]:[b]])+Jan:Feb!A1", {{"Jan", "Feb"}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sheetSpansOf(c.formula), c.spans) << c.formula;
}

// A sheet inflated in pieces cut anywhere gives the spans of the whole: entities decoded,
// formulas of any prefix, nothing outside <f>.
TEST(SheetSpans, FormulasCutIntoPiecesAreReadWhole)
{
    const std::string sheet =
        "<worksheet" + mainNs +
        R"( xmlns:x="urn:x"><sheetData><row r="1"><c r="A1"><f>SUM(Jan:Mar!C2)</f><v>7</v></c>)"
        R"(<c r="B1" t="str"><v>Feb:Mar!A1</v></c><c r="C1"><x:f t="shared" si="0">'O&apos;&apos;Neil:Mar'!A1&amp;"x"</x:f>)"
        R"(</c><c r="D1"><f/></c></row></sheetData></worksheet>)";
    const std::vector<SheetSpan> expected = {{"Jan", "Mar"}, {"O'Neil", "Mar"}};
    for (std::size_t size : {std::size_t{1}, std::size_t{7}, sheet.size()}) {
        FormulaSpans scan;
        for (std::size_t at = 0; at < sheet.size(); at += size)
            scan.feed(std::string_view(sheet).substr(at, size));
        EXPECT_EQ(scan.spans(), expected) << size;
    }
}
