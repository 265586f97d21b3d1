#include "layout/platelayout.h"

#include "xlsx/valueblock.h"
#include "xlsx/workbook.h"
#include "xlsx/xlsxtest.h"

#include <gtest/gtest.h>

#include <set>

namespace morvane {
namespace {

const std::string kDataDir = MORVANE_TESTDATA_DIR;
const std::vector<std::string> kOneChannel = {"483-533"};

PlateLayout parsed(const std::string& text)
{
    auto layout = parseLayoutText(text, "plan.tsv");
    EXPECT_TRUE(layout.ok()) << layout.error().message;
    return layout.ok() ? std::move(layout).value() : PlateLayout();
}

// The forms a lab writes a layout in read alike.
TEST(Layout, SeparatorsQuotesCaseAndEncodingsReadAlike)
{
    const std::string forms[] = {
        "Well\tSample\tSample Type\tQuantity\nB3\tStd 1\tstd\t2,5\n",
        "\xEF\xBB\xBFwell;SAMPLE;sample type;quantity\r\nb3;Std 1;STD;2,5\r\n",
        "Quantity,Well,Sample,SampleType,Notes\n\"2,5\",B3,\"Std 1\",std,\"a, b\"\n\n",
        // RDES: the first six columns count, the Cq and the readings do not.
        "Well\tSample\tSample Type\tTarget\tTarget Type\tDye\tCq\t1\t2\nB3\tStd 1\tstd\t\t\t\t\t1.5\t1.6\n",
    };
    for (const std::string& form : forms) {
        SCOPED_TRACE(form);
        const PlateLayout layout = parsed(form);
        ASSERT_EQ(layout.entries.size(), 1u);
        const LayoutEntry& e = layout.entries.front();
        EXPECT_EQ(e.well(), "B3");
        EXPECT_EQ(e.sample, "Std 1");
        EXPECT_EQ(e.sampleType, "std");
        EXPECT_EQ(e.quantity, form.find("2,5") != std::string::npos ? "2.5" : "");
    }
    // UTF-16 with its byte-order mark, as a spreadsheet's "Unicode text" is saved.
    const std::string utf8 = "Well\tSample\nA1\tMaus \xC3\xA4\n";
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("Well\tSample\nA1\tMaus ")) {
        utf16 += c;
        utf16 += '\0';
    }
    utf16 += "\xE4";
    utf16 += '\0';
    EXPECT_EQ(parsed(utf16).entries.front().sample, parsed(utf8).entries.front().sample);
}

// Every refusal names the file, the line and the value.
TEST(Layout, MistakesAreRefusedWithTheirLineAndValue)
{
    const std::string head = "Well\tSample\tSample Type\tTarget\tTarget Type\tDye\tQuantity\tQuantity Unit\n";
    const struct {
        std::string body;
        std::string expected;
    } cases[] = {
        {"A1\tS\tunkn\nA2\tS\tunkn\nA3\tT\tblank\n", "plan.tsv, line 4: the sample type 'blank' is none of unkn, ntc"},
        {"A1\tS\nA1\tT\n", "plan.tsv, line 3: well 'A1' is listed again (first at plan.tsv, line 2)"},
        {"A1\tNT\tntc\nA2\tNT\tstd\n",
         "line 3: the sample 'NT' is given two types: 'ntc' (plan.tsv, line 2) and 'std'"},
        {"A1\tS\t\tG\ttoi\nA2\tS\t\tG\tref\n", "line 3: the target 'G' is given two types"},
        {"A1\tS\t\tG\t\tSYBR\nA2\tS\t\tG\t\tFAM\n", "line 3: the target 'G' is given two dyes"},
        {"A1\tS\t\t\t\t\t1.2.3\n", "line 2: the quantity '1.2.3' is not a positive number"},
        {"A1\tS\t\t\t\t\t-5\n", "the quantity '-5' is not a positive number"},
        {"A1\tS\t\t\t\t\t10\tmL\n", "the quantity unit 'mL' is none of cop, fold, dil, ng, nMol, other"},
        {"A1\tS\t\t\ttarget\n", "the target type 'target' is none of toi, ref"},
        {"1A\tS\n", "line 2: '1A' is not a well such as B3"},
        {"A1\tStd\tstd\t\t\t\t1\nA2\tStd\tstd\t\t\t\t10\n", "the sample 'Std' is given two quantities: 1 cop"},
    };
    for (const auto& c : cases) {
        const auto layout = parseLayoutText(head + c.body, "plan.tsv");
        ASSERT_FALSE(layout.ok()) << c.body;
        EXPECT_NE(layout.error().message.find(c.expected), std::string::npos) << layout.error().message;
    }
    const auto noWell = parseLayoutText("Position\tSample\nA1\tS\n", "plan.csv");
    ASSERT_FALSE(noWell.ok());
    EXPECT_EQ(noWell.error().message.find("plan.csv, line 1: no column is named \"Well\""), 0u);
    const auto huge = parseLayoutText(head + std::string(2000, 'x'), "big.tsv", LayoutLimits{1024, 100});
    ASSERT_FALSE(huge.ok());
    EXPECT_NE(huge.error().message.find("big.tsv: the layout has"), std::string::npos);
    // A long value is cut in the message.
    const auto longValue = parseLayoutText(head + "A1\tS\t" + std::string(500, 'q') + "\n", "plan.tsv");
    ASSERT_FALSE(longValue.ok());
    EXPECT_LT(longValue.error().message.size(), 250u);
}

TEST(Layout, FittedToThePlateAndTheChannels)
{
    PlateLayout offPlate = parsed("Well\tSample\nI1\tS\n");
    const auto refused = fitLayout(offPlate, PlateFormat::Wells96, kOneChannel);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message, "plan.tsv, line 2: the well 'I1' is not on the 96-well plate");
    EXPECT_TRUE(fitLayout(offPlate, PlateFormat::Wells384, kOneChannel).ok());

    // An RDES table of a two-colour run: one row per dye, each dye a channel of the export.
    const std::vector<std::string> two = {"465-510", "533-580"};
    PlateLayout multiplex =
        parsed("Well\tSample\tTarget\tDye\nA1\tS\tGAPDH\t465-510\nA1\tS\tACTB\t533-580\nA2\tS\tGAPDH\t465-510\n");
    ASSERT_TRUE(fitLayout(multiplex, PlateFormat::Wells96, two).ok());
    EXPECT_EQ(multiplex.find(1, 1, "533-580")->target, "ACTB");
    EXPECT_EQ(multiplex.find(1, 2, "533-580")->target, "GAPDH") << "a row without a channel serves every channel";
    PlateLayout unknownDye = parsed("Well\tSample\tDye\nA1\tS\tFAM\nA1\tS\tHEX\n");
    EXPECT_FALSE(fitLayout(unknownDye, PlateFormat::Wells96, two).ok());
    PlateLayout badChannel = parsed("Well\tChannel\tTarget\nA1\t618-660\tG\n");
    const auto channel = fitLayout(badChannel, PlateFormat::Wells96, two);
    ASSERT_FALSE(channel.ok());
    EXPECT_NE(channel.error().message.find("not one the export reads (465-510, 533-580)"), std::string::npos);
}

// The shared calibration plan: 384 wells, 16 primer sets, the controls typed.
TEST(Layout, TheRealCalibrationPlanAndItsWorkbookFormReadAlike)
{
    auto text = readLayoutFile(kDataDir + "/layout/lc480_384_nrd1_calibration_layout.tsv");
    ASSERT_TRUE(text.ok()) << text.error().message;
    EXPECT_EQ(text->entries.size(), 384u);
    std::set<std::string> targets;
    for (const LayoutEntry& e : text->entries)
        targets.insert(e.target);
    EXPECT_EQ(targets.size(), 16u);
    EXPECT_EQ(text->sampleTypeOf("NT"), "ntc");
    EXPECT_EQ(text->find(1, 4, "")->quantity, "125");

    // The same table saved as a workbook by this program's own writer.
    Grid grid(385, 8);
    const std::string saved = layoutTable(*text);
    for (std::size_t start = 0, row = 0; start < saved.size(); ++row) {
        const std::size_t end = saved.find('\n', start);
        std::size_t col = 0;
        for (std::size_t field = start; field <= end; ++col) {
            const std::size_t tab = std::min(saved.find('\t', field), end);
            if (col < 8)
                grid.cell(static_cast<int>(row), static_cast<int>(col)) = saved.substr(field, tab - field);
            field = tab + 1;
        }
        start = end + 1;
    }
    auto book = XlsxWorkbook::create("plan.xlsx");
    ASSERT_TRUE(book.ok());
    ASSERT_TRUE(book->addSheet("Plan").ok());
    ASSERT_TRUE(book->writeRange(1, 9, 1, 386, makeValueBlock(grid, '.')).ok());
    auto bytes = book->save();
    ASSERT_TRUE(bytes.ok());
    xlsxtest::TempDir dir;
    xlsxtest::writeFile(dir.path / "plan.xlsx", *bytes);
    auto workbook = readLayoutFile(dir.path / "plan.xlsx");
    ASSERT_TRUE(workbook.ok()) << workbook.error().message;
    ASSERT_EQ(workbook->entries.size(), text->entries.size());
    EXPECT_EQ(layoutTable(*workbook), layoutTable(*text));
}

TEST(Layout, SampleNamesGoIntoTheWellTable)
{
    Grid table(3, 3, 1, 1);
    table.setCell(0, 0, "well");
    table.setCell(1, 0, "A1");
    table.setCell(1, 1, " Sample 1");
    table.setCell(2, 0, "A2");
    table.setCell(2, 1, " Sample 2");
    const PlateLayout layout = parsed("Well\tSample\nA1\tStd  1x\nA2\tSample 2\nB7\tNT\n");
    EXPECT_EQ(applySampleNames(table, layout), 1);
    EXPECT_EQ(table.cell(1, 1), " Std 1x");
    EXPECT_EQ(table.cell(2, 1), " Sample 2");
    EXPECT_EQ(layoutWellsWithoutDataWarning(layoutWellsWithoutData(layout, table)),
              "the layout describes 1 well without data: B7");
}

TEST(Layout, TheWindowsEditKeepsTheLayoutWhole)
{
    const auto edit = [](std::optional<std::string> sample, std::optional<std::string> type,
                         std::optional<std::string> quantity = std::nullopt) {
        LayoutEdit e;
        e.sample = std::move(sample);
        e.sampleType = std::move(type);
        e.quantity = std::move(quantity);
        return e;
    };
    PlateLayout layout = parsed("Well\tSample\tSample Type\nA1\tNT\tntc\n");
    const WellPos wells[] = {{1, 2}, {2, 2}};
    ASSERT_TRUE(editLayout(layout, wells, edit("Std", "std", "1,5")).ok());
    ASSERT_EQ(layout.entries.size(), 3u);
    EXPECT_EQ(layout.find(2, 2, "")->quantity, "1.5");
    EXPECT_EQ(layout.find(2, 2, "")->quantityUnit, "cop");
    // Giving a control's name another type is refused and changes nothing.
    const WellPos b1[] = {{2, 1}};
    const auto clash = editLayout(layout, b1, edit("NT", "unkn"));
    ASSERT_FALSE(clash.ok());
    EXPECT_NE(clash.error().message.find("the sample 'NT' is given two types"), std::string::npos);
    EXPECT_FALSE(editLayout(layout, b1, edit(std::nullopt, "none")).ok());
    EXPECT_EQ(layout.entries.size(), 3u);
    // What is saved reads back the same.
    const std::string saved = layoutTable(layout);
    EXPECT_EQ(layoutTable(parsed(saved)), saved);
}

TEST(Layout, AnEditKeepsTheUnitAndNamesTheWellItConflictsWith)
{
    const std::string plan = "Well\tSample\tTarget\tQuantity\tQuantity Unit\nA1\tS\tG\t1\tdil\nA2\tS\tG\t1\tdil\n";
    LayoutEdit quantity;
    quantity.quantity = "2,5";
    PlateLayout layout = parsed(plan);
    const WellPos both[] = {{1, 1}, {1, 2}};
    ASSERT_TRUE(editLayout(layout, both, quantity).ok());
    EXPECT_EQ(layoutTable(layout), "Well\tSample\tSample Type\tTarget\tTarget Type\tDye\tQuantity\tQuantity Unit\n"
                                   "A1\tS\t\tG\t\t\t2.5\tdil\nA2\tS\t\tG\t\t\t2.5\tdil\n");
    layout = parsed(plan);
    const WellPos a1[] = {{1, 1}};
    const auto clash = editLayout(layout, a1, quantity);
    ASSERT_FALSE(clash.ok());
    EXPECT_EQ(clash.error().message,
              "The edit conflicts with the layout: well A2 (plan.tsv, line 3): the sample 'S' is "
              "given two quantities for 'G': 2.5 dil (well A1, as set now) and 1 dil");
    EXPECT_EQ(layoutTable(layout), layoutTable(parsed(plan)));
}

} // namespace
} // namespace morvane
