#pragma once
// TExcelcom: the export's Excel operations on a workbook file standing in for the active
// workbook of a running Excel. The operations between ExcelRunning and CloseConnection work on
// the workbook in memory; CloseConnection writes the file once, atomically. The workbook is
// held for writing from the first operation that reads it to CloseConnection, so that no other
// writer's sheet is lost in between. A failed operation drops the changes and lets go of the
// workbook, so a failed export leaves the file exactly as it was.

#include "export/atomicsave.h"
#include "export/excelautomation.h"
#include "export/workbooklock.h"
#include "xlsx/workbook.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace morvane {

// Where the workbook lives: a file, or bytes in memory.
class WorkbookStore {
public:
    virtual ~WorkbookStore() = default;
    virtual std::string displayName() const = 0;
    // The workbook's bytes, or nullopt when there is none yet (a new one is made).
    virtual Expected<std::optional<std::string>> load() = 0;
    virtual Status store(std::string_view bytes) = 0;
    // Ends what load() holds on the workbook without storing (store() ends it too).
    virtual void release() {}
};

// A workbook file. A path that does not exist is a new workbook (extension .xlsx only). From
// load to store (or release) the file is ours to write (see workbooklock.h): another Morvane
// writer waits meanwhile, and another program's lock file, Excel's ("~$name") or LibreOffice's
// (".~lock.name#"), means it is open elsewhere. Any other change to the file between load and
// the moment it is replaced is refused.
class WorkbookFile : public WorkbookStore {
public:
    explicit WorkbookFile(std::filesystem::path path, SaveIo& io = defaultSaveIo(), WorkbookLimits limits = {},
                          LockWait wait = {});
    std::string displayName() const override;
    Expected<std::optional<std::string>> load() override;
    Status store(std::string_view bytes) override;
    void release() override;
    const std::filesystem::path& path() const { return m_path; }

private:
    struct Stamp {
        bool exists = false;
        std::uintmax_t size = 0;
        std::filesystem::file_time_type time;
        std::uint64_t identity = 0; // the file itself, where the system tells: a replaced file differs
        bool operator==(const Stamp&) const = default;
    };
    Stamp stamp() const;
    Status checkNotOpenElsewhere() const;
    Status checkUnchanged() const;
    Expected<std::optional<std::string>> read();

    std::filesystem::path m_path;
    SaveIo* m_io;
    WorkbookLimits m_limits;
    LockWait m_wait;
    WorkbookLock m_lock;
    std::optional<Stamp> m_loaded;
};

// Bytes in, bytes out: for tests and the fuzz target.
class WorkbookInMemory : public WorkbookStore {
public:
    explicit WorkbookInMemory(std::optional<std::string> bytes, std::string name = "workbook.xlsx");
    std::string displayName() const override { return m_name; }
    Expected<std::optional<std::string>> load() override { return m_bytes; }
    Status store(std::string_view bytes) override;
    const std::optional<std::string>& bytes() const { return m_bytes; }
    int storeCount() const { return m_stores; }

private:
    std::optional<std::string> m_bytes;
    std::string m_name;
    int m_stores = 0;
};

class TExcelcom : public ExcelAutomation {
public:
    TExcelcom() = default;
    explicit TExcelcom(std::filesystem::path workbookFile, LockWait wait = {});
    explicit TExcelcom(std::unique_ptr<WorkbookStore> store, WorkbookLimits limits = {});

    // Chooses the workbook for the next operations; pending changes are dropped. `wait` says how
    // long to wait for another Morvane export into the same file, and whom to tell.
    void setWorkbookFile(std::filesystem::path workbookFile, LockWait wait = {});
    void setStore(std::unique_ptr<WorkbookStore> store);

    Status ExcelRunning() override;
    Expected<SheetNameList> GetSheetNames() override;
    Expected<std::string> AddSheet(std::string_view wantedName) override;
    Status OpenActiveSheet() override;
    Status WriteRange(int firstCol, int lastCol, int firstRow, int lastRow, const ValueBlock& block) override;
    Status CloseConnection() override;
    std::vector<std::string> TakeWarnings() override { return std::exchange(m_warnings, {}); }

private:
    Status connect();
    template <typename T> T dropOnFailure(T result);

    std::unique_ptr<WorkbookStore> m_store;
    WorkbookLimits m_limits;
    std::optional<XlsxWorkbook> m_book;
    std::vector<std::string> m_warnings; // of the last save
};

} // namespace morvane
