// The window's "Save as RDML..." on the third page: the run converted on the first page, every
// channel of it, for the wells of the third page's table, as RDML or as the RDES tables (the melting
// table beside the amplification table when the run has a melt program).

#include "app/filepath.h"
#include "app/platesizeindex.h"
#include "app/stringgrid.h"
#include "app/tform1.h"
#include "app/waitcursor.h"
#include "app/wellchecklist.h"
#include "conversion/programs.h"
#include "dialogs/handlererror.h"
#include "export/atomicsave.h"
#include "export/filekind.h"
#include "plate/extraction.h"
#include "rdml/rdes.h"
#include "rdml/rdml.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>

#include <ctime>
#include <filesystem>
#include <optional>

void TForm1::SaveRdmlButtonClick(QObject*)
{
    if (!m_rawText || !m_programs || SelectedProg == 0)
        throw HandlerError(QStringLiteral("No run is converted; open a raw data file and \"Convert to Grid\" first"));
    if (!exportTableHoldsWells())
        return;
    const QString path = askSavePath(QStringLiteral("Save the ticked wells as RDML"),
                                     QStringLiteral("RDML files (*.rdml);;RDES tables (*.tsv)"), true);
    if (path.isEmpty())
        return;
    rememberFolder(path);
    const bool rdes = QFileInfo(path).suffix().compare(QStringLiteral("tsv"), Qt::CaseInsensitive) == 0;
    // askSavePath asked about this file only when it was there.
    const bool askedToReplace = QFileInfo::exists(path);
    std::optional<WaitCursor> wait(std::in_place);

    // RDES holds the chosen run; RDML every segment of a program read in several, the chosen
    // read first.
    const std::string fallbackName = QFileInfo(path).completeBaseName().toStdString();
    const morvane::PlateFormat plate = plateMapFor(plateSizeIndex());
    std::vector<morvane::ConvertedChannels> converted;
    if (rdes)
        converted.push_back(unwrap(morvane::convertEveryChannel(*m_rawText, *m_programs, SelectedProg, SelectedSeg,
                                                                plate, true, fallbackName)));
    else
        converted = unwrap(morvane::convertEverySegment(*m_rawText, *m_programs, SelectedProg, SelectedSeg, plate, true,
                                                        fallbackName));
    // The wells page 3 shows, which the map's ticks may have left since.
    morvane::RdmlContent content = rdmlContent(converted, morvane::tableWellTicks(ExportSelectSG->grid(), plate));
    content.layout = m_layout.get();
    content.version = RdmlVersionCB->currentIndex() == 1 ? morvane::RdmlVersion::V1_4 : morvane::RdmlVersion::V1_3;
    content.dateMade = morvane::rdmlDateTime(std::time(nullptr));
    morvane::RdmlSummary summary;
    const std::string bytes =
        unwrap(rdes ? morvane::rdesTable(content, &summary) : morvane::rdmlArchive(content, &summary));
    if (summary.reacts == 0)
        throw HandlerError(QStringLiteral("No well of the export table holds data; tick wells on the second page and "
                                          "extract them first"));
    const bool meltTable = rdes && converted.front().melt;
    const std::string melting = meltTable ? unwrap(morvane::rdesMeltTable(content, &summary)) : std::string();
    // askSavePath has asked before an existing file is replaced (the melting table beside it
    // goes with it); what is replaced must be a file of the kind written.
    const auto kind = rdes ? morvane::WrittenKind::RdesTable : morvane::WrittenKind::Rdml;
    // A melting table of another run may stand beside a new table's name: it is asked about too.
    if (std::error_code error; meltTable && !askedToReplace &&
                               std::filesystem::exists(morvane::meltingTablePath(fileSystemPath(path)), error)) {
        const QFileInfo table(path);
        const QString meltingName =
            table.dir().filePath(table.completeBaseName() + QStringLiteral("_melting.") + table.suffix());
        wait.reset();
        if (!replaceConfirmed(meltingName))
            return;
        wait.emplace();
    }
    unwrap(morvane::checkReplaceable(fileSystemPath(path), kind));
    if (meltTable)
        unwrap(morvane::checkReplaceable(morvane::meltingTablePath(fileSystemPath(path)), kind));
    unwrap(morvane::saveNewFile(fileSystemPath(path), bytes, morvane::ExistingFile::Replace));
    const auto meltingPath = morvane::meltingTablePath(fileSystemPath(path));
    if (meltTable)
        unwrap(morvane::saveNewFile(meltingPath, melting, morvane::ExistingFile::Replace));

    QStringList channels;
    for (const std::string& channel : content.channels)
        channels << QString::fromStdString(channel);
    QString done = QStringLiteral("%1 wells with the channel%2 %3%4 saved as %5 in\n%6")
                       .arg(summary.reacts)
                       .arg(channels.size() > 1 ? QStringLiteral("s") : QString())
                       .arg(channels.join(QStringLiteral(", ")))
                       .arg(summary.meltPoints > 0 ? QStringLiteral(" and the melt curve") : QString())
                       .arg(rdes ? QStringLiteral("RDES") : QStringLiteral("RDML"))
                       .arg(QDir::toNativeSeparators(path));
    if (meltTable)
        done += QStringLiteral("\nand the melting table in\n%1")
                    .arg(QDir::toNativeSeparators(QFileInfo(path).dir().filePath(
                        QFileInfo(path).completeBaseName() + QStringLiteral("_melting.") + QFileInfo(path).suffix())));
    m_dialogs->message(this, DialogService::Icon::Information, QStringLiteral("Saved"), done,
                       DialogService::Buttons::Ok);
}
