// What a file is, told before a save replaces it: only a file of the kind being written is
// replaced, through a symbolic link too; anything else is named and left alone.

#include "export/filekind.h"

#include "xlsx/xlsxtest.h"
#include "xlsx/ziparchive.h"

#include <gtest/gtest.h>

using namespace morvane;
using namespace xlsxtest;
namespace fs = std::filesystem;

namespace {

std::string zipOf(std::vector<std::pair<std::string, std::string>> entries)
{
    return xlsx::ZipArchive::build(entries).value();
}

} // namespace

TEST(FileKind, OnlyAFileOfTheKindWrittenIsReplaced)
{
#ifdef _WIN32
    GTEST_SKIP() << "needs symbolic links, which MinGW's C++ library cannot make (and Windows lets only "
                    "administrators or developer mode make)";
#endif
    TempDir dir;
    const struct {
        const char* name;
        std::string bytes; // empty name of a folder: made as one
        std::string described;
        WrittenKind kind; // what would replace it
        bool replaced;
    } cases[] = {
        {"run.rdml", zipOf({{"rdml_data.xml", "<rdml/>"}}), "an RDML file", WrittenKind::Rdml, true},
        {"plain.rdml", "<?xml version=\"1.0\"?>\n<rdml version=\"1.3\"/>", "an RDML file", WrittenKind::Rdml, true},
        {"book.rdml", zipOf({{"[Content_Types].xml", "<Types/>"}, {"xl/workbook.xml", "<workbook/>"}}),
         "a workbook (xlsx)", WrittenKind::Rdml, false},
        {"other.rdml", zipOf({{"notes.txt", "x"}}), "a zip archive", WrittenKind::Rdml, false},
        {"notes.rdml", "my notes\n", "a text file", WrittenKind::Rdml, false},
        {"run.tsv", "Well\tSample\tSample Type\n", "an RDES table", WrittenKind::RdesTable, true},
        {"data.tsv", "id\tvalue\n1\t2\n", "a text file", WrittenKind::RdesTable, false},
        {"run2.tsv", zipOf({{"rdml_data.xml", "<rdml/>"}}), "an RDML file", WrittenKind::RdesTable, false},
        {"plot.png", "\x89PNG\r\n\x1A\n....", "a PNG image", WrittenKind::PngImage, true},
        {"plot.pdf", "%PDF-1.4\n", "a PDF document", WrittenKind::PdfDocument, true},
        {"plot.svg", "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\"/>", "an SVG drawing",
         WrittenKind::SvgDrawing, true},
        {"paper.png", "%PDF-1.7\n", "a PDF document", WrittenKind::PngImage, false},
        {"tool.png",
         std::string("\x7F"
                     "ELF\x02\x01",
                     6),
         "a program", WrittenKind::PngImage, false},
        {"plan.csv", "\"Sample\";\"Well\"\nX;A1\n", "a layout table", WrittenKind::LayoutTable, true},
        {"plan.tsv", "Well\tSample\tSample Type\n", "an RDES table", WrittenKind::LayoutTable, true},
        {"raw.txt", "Experiment: x\nSamplePos\tSampleName\tProg#\tSeg#\n", "a raw data export",
         WrittenKind::LayoutTable, false},
        {"book.tsv", zipOf({{"[Content_Types].xml", "<Types/>"}, {"xl/workbook.xml", "<workbook/>"}}),
         "a workbook (xlsx)", WrittenKind::LayoutTable, false},
        {"empty.rdml", "", "an empty file", WrittenKind::Rdml, false},
        {"new.rdml", "(none)", "", WrittenKind::Rdml, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = dir.path / c.name;
        if (c.bytes != "(none)")
            writeFile(path, c.bytes);
        EXPECT_EQ(describeFile(path), c.described);
        const Status replaceable = checkReplaceable(path, c.kind);
        EXPECT_EQ(replaceable.ok(), c.replaced);
        if (!c.replaced) {
            EXPECT_EQ(replaceable.error().message, std::string("'") + c.name + "' is " + c.described + ", not " +
                                                       kindText(c.kind) + "; it is left as it is: choose another name");
        }
    }

    // Through a link, what it leads to counts; a folder is no file.
    fs::create_symlink("notes.rdml", dir.path / "link.rdml");
    fs::create_symlink("run.rdml", dir.path / "good.rdml");
    fs::create_symlink("gone.rdml", dir.path / "dangling.rdml");
    fs::create_directory(dir.path / "folder.rdml");
    EXPECT_EQ(checkReplaceable(dir.path / "link.rdml", WrittenKind::Rdml).error().message,
              "'link.rdml' is a symbolic link to 'notes.rdml', a text file, not an RDML file; it is left as it is: "
              "choose another name");
    EXPECT_TRUE(checkReplaceable(dir.path / "good.rdml", WrittenKind::Rdml).ok());
    EXPECT_EQ(checkReplaceable(dir.path / "dangling.rdml", WrittenKind::Rdml).error().message,
              "'dangling.rdml' is a symbolic link to 'gone.rdml', which does not exist, not an RDML file; it is left "
              "as it is: choose another name");
    EXPECT_EQ(checkReplaceable(dir.path / "folder.rdml", WrittenKind::Rdml).error().message,
              "'folder.rdml' is a folder, not an RDML file; it is left as it is: choose another name");
}
