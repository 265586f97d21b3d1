#pragma once
// Writing the sheets of morvane-convert into workbooks: one beside each raw file, or every file's
// sheets into the one workbook given with --output.

#include "cli/reporter.h"
#include "common/grid.h"
#include "export/excelcom.h"
#include "export/exportcommand.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

// Waits for another Morvane writer of the same workbook, saying so unless `quiet`.
LockWait lockWait(const std::filesystem::path& workbook, bool quiet, Reporter& reporter);

// Adds the sheet to the batch; a refusal is reported as the failure of raw file `file`.
std::optional<ExportOutcome> addSheet(ExportBatch& batch, const Grid& table, const std::string& sheet,
                                      char decimalSeparator, Reporter& reporter, const std::string& file);

// The one workbook of --output. Its sheets wait in memory and are written every so many sheets
// and at the end; when a write fails, each raw file whose sheets are lost is named, so that
// exactly those can be converted again.
class SharedWorkbook {
public:
    SharedWorkbook(std::filesystem::path path, char decimalSeparator, bool quiet, Reporter& reporter);
    ~SharedWorkbook();
    SharedWorkbook(const SharedWorkbook&) = delete;
    SharedWorkbook& operator=(const SharedWorkbook&) = delete;

    // Adds the sheet of raw file `file`; false when it was refused (reported).
    bool add(const std::string& file, const Grid& table, const std::string& sheet, const std::string& summary);
    // Writes the sheets that wait and lets go of the workbook; false when that failed (reported).
    bool write();

private:
    static constexpr int kSheetsPerWrite = 20;
    struct Open;

    std::filesystem::path m_path;
    char m_decimalSeparator;
    bool m_quiet;
    Reporter& m_reporter;
    std::unique_ptr<Open> m_open;
};

} // namespace morvane
