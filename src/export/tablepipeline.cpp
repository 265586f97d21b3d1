#include "export/tablepipeline.h"

#include "plate/extraction.h"
#include "xlsx/sheetname.h"

namespace morvane {

std::string proposedSheetName(const RawText& text, const ProgramList& programs, int channel, std::string_view segment)
{
    std::string name = experimentName(text);
    std::string suffix;
    if (programs.columns.severalChannels())
        suffix = programs.columns.channels.at(static_cast<std::size_t>(channel));
    if (!segment.empty())
        suffix += (suffix.empty() ? "seg " : " seg ") + std::string(segment);
    return suffix.empty() ? name : sheetNameWithChannel(name, suffix);
}

Expected<CheckedTable> convertAndCheck(const RawText& text, const ProgramList& programs, const RunChoice& choice,
                                       std::optional<PlateFormat> plate, const ConversionProgress& progress)
{
    auto converted = convertRun(text, programs, choice, plate.value_or(PlateFormat::Wells384), progress);
    if (!converted)
        return converted.error();
    CheckedTable checked{std::move(converted).value(), {}, {}};
    if (plate)
        checked.plateWarning = plateWellsWarning(checked.table.grid, checked.table.wellsNotConverted, *plate);
    checked.findings = checkConversion(checked.table);
    return checked;
}

} // namespace morvane
