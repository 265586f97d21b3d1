#include "cli/sheetwriter.h"

#include "common/text.h"
#include "xlsx/sheetname.h"

namespace morvane {

LockWait lockWait(const std::filesystem::path& workbook, bool quiet, Reporter& reporter)
{
    LockWait wait;
    if (!quiet)
        wait.waiting = [&reporter, name = pathForMessage(workbook)](std::string_view text) {
            reporter.note(name, text);
        };
    return wait;
}

std::optional<ExportOutcome> addSheet(ExportBatch& batch, const Grid& table, const std::string& sheet,
                                      char decimalSeparator, Reporter& reporter, const std::string& file)
{
    auto outcome = batch.add(table, sheet, decimalSeparator);
    if (!outcome) {
        reporter.error(file, outcome.error());
        return std::nullopt;
    }
    if (outcome->status == ExportOutcome::NameTooLong) {
        reporter.error(file, Error{"the sheet name " + quoteForMessage(sheet) + " is longer than " +
                                   std::to_string(kMaxSheetNameLength) + " characters"});
        return std::nullopt;
    }
    return std::move(outcome).value();
}

// The workbook while sheets go into it, and the sheets of each raw file that wait.
struct SharedWorkbook::Open {
    Open(const std::filesystem::path& path, LockWait wait) : excel(path, std::move(wait)), batch(excel) {}
    struct Pending {
        std::string file;
        std::vector<std::string> sheets;
    };
    TExcelcom excel;
    ExportBatch batch;
    std::optional<Error> unreadable;
    std::vector<Pending> pending;
};

SharedWorkbook::SharedWorkbook(std::filesystem::path path, char decimalSeparator, bool quiet, Reporter& reporter)
    : m_path(std::move(path)), m_decimalSeparator(decimalSeparator), m_quiet(quiet), m_reporter(reporter)
{
}

SharedWorkbook::~SharedWorkbook() = default;

bool SharedWorkbook::add(const std::string& file, const Grid& table, const std::string& sheet,
                         const std::string& summary)
{
    if (!m_open) {
        m_open = std::make_unique<Open>(m_path, lockWait(m_path, m_quiet, m_reporter));
        if (auto begun = m_open->batch.begin(); !begun)
            m_open->unreadable = begun.error();
    }
    if (m_open->unreadable)
        return m_reporter.error(file, *m_open->unreadable);
    auto outcome = addSheet(m_open->batch, table, sheet, m_decimalSeparator, m_reporter, file);
    if (!outcome)
        return false;
    auto& pending = m_open->pending;
    if (pending.empty() || pending.back().file != file)
        pending.push_back({file, {}});
    pending.back().sheets.push_back(outcome->sheetName);
    m_reporter.line(summary + " -> " + pathForMessage(m_path) + ", sheet '" + outcome->sheetName + "'");
    // Writing the workbook every so many sheets keeps a long batch's memory bounded, for little time.
    if (m_open->batch.added() >= kSheetsPerWrite)
        return write();
    return true;
}

bool SharedWorkbook::write()
{
    const std::unique_ptr<Open> open = std::move(m_open);
    if (!open || open->batch.added() == 0)
        return true;
    const std::string output = pathForMessage(m_path);
    if (auto written = open->batch.finish(); !written) {
        m_reporter.error(m_path.string(), written.error());
        for (const Open::Pending& lost : open->pending) {
            const bool one = lost.sheets.size() == 1;
            std::string message = one ? "its sheet " : "its sheets ";
            for (std::size_t i = 0; i < lost.sheets.size(); ++i)
                message.append(i == 0 ? "'" : ", '").append(lost.sheets[i]).append("'");
            message.append(one ? " was" : " were").append(" not written to ").append(output);
            message.append("; convert this file again");
            m_reporter.error(lost.file, Error{std::move(message)});
        }
        return false;
    }
    for (const std::string& warning : open->batch.warnings())
        m_reporter.warning(m_path.string(), warning);
    m_reporter.line(output + ": " + std::to_string(open->batch.added()) + " sheets written");
    return true;
}

} // namespace morvane
