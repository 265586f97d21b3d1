#include "export/excelcom.h"

#include "common/platform.h"
#include "common/text.h"

#include <fstream>

namespace morvane {

namespace fs = std::filesystem;

namespace {

bool hasXlsxExtension(const fs::path& path)
{
    return equalsIgnoringAsciiCase(path.extension().string(), ".xlsx");
}

// The file a link points to, where the save writes; the path itself otherwise.
fs::path linkTarget(const fs::path& path)
{
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(path, error))) {
        fs::path target = fs::canonical(path, error);
        if (!error)
            return target;
    }
    return path;
}

} // namespace

WorkbookFile::WorkbookFile(fs::path path, SaveIo& io, WorkbookLimits limits, LockWait wait)
    : m_path(std::move(path)), m_io(&io), m_limits(limits), m_wait(std::move(wait))
{
}

std::string WorkbookFile::displayName() const
{
    return m_path.filename().string();
}

WorkbookFile::Stamp WorkbookFile::stamp() const
{
    Stamp s;
    std::error_code error;
    s.exists = fs::exists(m_path, error);
    if (s.exists) {
        s.size = fs::file_size(m_path, error);
        s.time = fs::last_write_time(m_path, error);
        // Another writer's rename brings a new file, which a size and time alike do not show.
        s.identity = platform::fileIdentity(m_path).value_or(0);
    }
    return s;
}

Status WorkbookFile::checkNotOpenElsewhere() const
{
    // Excel's "~$name" is the lock this file holds while it is loaded (see load()).
    const fs::path target = linkTarget(m_path);
    fs::path lock(".~lock.");
    lock += target.filename();
    lock += "#";
    std::error_code error;
    if (!fs::exists(target.parent_path() / lock, error))
        return success();
    // Its first record names the user; a few hundred bytes, however long the file.
    std::ifstream in(target.parent_path() / lock, std::ios::binary);
    std::string record(4096, '\0');
    in.read(record.data(), static_cast<std::streamsize>(record.size()));
    record.resize(static_cast<std::size_t>(in.gcount()));
    return Error{openElsewhereMessage(m_path, lock, libreOfficeOwnerOf(record))};
}

Status WorkbookFile::checkUnchanged() const
{
    if (stamp() != *m_loaded)
        return Error{quotedFileName(m_path) + " was changed by another program during the export; export again"};
    if (!m_lock.stillOwned())
        return Error{quotedFileName(m_path) + " cannot be saved: its lock file '" +
                     pathForMessage(ownerFileOf(linkTarget(m_path)).filename()) +
                     "' was removed by another program during the export; export again"};
    return checkNotOpenElsewhere();
}

Expected<std::optional<std::string>> WorkbookFile::load()
{
    m_loaded.reset();
    // What can be refused without the lock is refused before waiting for it.
    std::error_code error;
    const fs::file_status status = fs::status(m_path, error);
    if (fs::is_directory(status))
        return Error{quotedFileName(m_path) + " is a folder, not a workbook"};
    // A pipe or a device would block the read or report a size that means nothing.
    if (fs::exists(status) && !fs::is_regular_file(status))
        return Error{quotedFileName(m_path) + " is " + fileTypeText(status.type()) + ", not a workbook"};
    if (!fs::exists(status)) {
        const fs::path folder = m_path.parent_path().empty() ? fs::path(".") : m_path.parent_path();
        if (!fs::is_directory(folder, error))
            return Error{"The folder '" + pathForMessage(folder) + "' of " + quotedFileName(m_path) +
                         " does not exist"};
        if (!hasXlsxExtension(m_path))
            return Error{quotedFileName(m_path) + " does not exist, and a new workbook needs the extension .xlsx"};
    }
    if (!m_lock.held()) {
        auto lock = WorkbookLock::acquire(linkTarget(m_path), m_wait);
        if (!lock)
            return lock.error();
        m_lock = std::move(lock).value();
    }
    auto bytes = read();
    if (!bytes)
        release();
    return bytes;
}

// The workbook as it is now that it is ours: the writer we waited for may have made or
// replaced it.
Expected<std::optional<std::string>> WorkbookFile::read()
{
    std::error_code error;
    const fs::file_status status = fs::status(m_path, error);
    if (!fs::exists(status)) {
        if (!hasXlsxExtension(m_path))
            return Error{quotedFileName(m_path) + " does not exist, and a new workbook needs the extension .xlsx"};
        m_loaded = stamp();
        return std::optional<std::string>();
    }
    if (fs::is_directory(status))
        return Error{quotedFileName(m_path) + " is a folder, not a workbook"};
    if (auto free = checkNotOpenElsewhere(); !free)
        return free.error();
    const Stamp before = stamp();
    if (before.size > m_limits.maxFileBytes)
        return Error{quotedFileName(m_path) + " is too large to open as a workbook (" +
                     std::to_string(before.size >> 20) + " MB; this program opens at most " +
                     std::to_string(m_limits.maxFileBytes >> 20) + " MB)"};
    // A stream says only that it failed, not why: the file was there a moment ago, so most likely
    // another program holds it or the user may not read it.
    std::ifstream in(m_path, std::ios::binary);
    if (!in)
        return Error{quotedFileName(m_path) +
                     " cannot be opened (no permission to read it, or another program holds it)"};
    std::string bytes(static_cast<std::size_t>(before.size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.gcount() != static_cast<std::streamsize>(bytes.size()) || in.peek() != std::ifstream::traits_type::eof())
        return Error{quotedFileName(m_path) + " cannot be read completely (it changed while being read)"};
    m_loaded = before;
    return std::optional<std::string>(std::move(bytes));
}

Status WorkbookFile::store(std::string_view bytes)
{
    if (!m_loaded)
        return Error{quotedFileName(m_path) + " was not read before saving"};
    // Checked before the work of writing, and again at the last moment before the rename.
    Status saved = checkUnchanged();
    if (saved)
        saved = saveFileAtomically(m_path, bytes, *m_io, [this] { return checkUnchanged(); });
    release();
    return saved;
}

void WorkbookFile::release()
{
    m_loaded.reset();
    m_lock.release();
}

WorkbookInMemory::WorkbookInMemory(std::optional<std::string> bytes, std::string name)
    : m_bytes(std::move(bytes)), m_name(std::move(name))
{
}

Status WorkbookInMemory::store(std::string_view bytes)
{
    m_bytes = std::string(bytes);
    ++m_stores;
    return success();
}

TExcelcom::TExcelcom(fs::path workbookFile, LockWait wait)
    : m_store(
          std::make_unique<WorkbookFile>(std::move(workbookFile), defaultSaveIo(), WorkbookLimits{}, std::move(wait)))
{
}

TExcelcom::TExcelcom(std::unique_ptr<WorkbookStore> store, WorkbookLimits limits)
    : m_store(std::move(store)), m_limits(limits)
{
}

void TExcelcom::setWorkbookFile(fs::path workbookFile, LockWait wait)
{
    setStore(
        std::make_unique<WorkbookFile>(std::move(workbookFile), defaultSaveIo(), WorkbookLimits{}, std::move(wait)));
}

void TExcelcom::setStore(std::unique_ptr<WorkbookStore> store)
{
    m_store = std::move(store);
    m_book.reset();
}

template <typename T> T TExcelcom::dropOnFailure(T result)
{
    if (!result.ok()) {
        m_book.reset();
        m_store->release();
    }
    return result;
}

Status TExcelcom::connect()
{
    if (m_book)
        return success();
    if (!m_store)
        return Error{"No workbook has been chosen for the export"};
    auto bytes = m_store->load();
    if (!bytes)
        return bytes.error();
    auto book = *bytes ? XlsxWorkbook::open(std::move(**bytes), m_store->displayName(), m_limits)
                       : XlsxWorkbook::create(m_store->displayName());
    if (!book) {
        m_store->release();
        return book.error();
    }
    m_book.emplace(std::move(book).value());
    return success();
}

Status TExcelcom::ExcelRunning()
{
    m_book.reset(); // a new export starts from the workbook as it is now
    return connect();
}

Expected<SheetNameList> TExcelcom::GetSheetNames()
{
    if (auto s = connect(); !s)
        return s.error();
    SheetNameList list;
    for (const SheetTab& tab : m_book->tabs())
        list.names.push_back(tab.name);
    list.activeIndex = m_book->activeTab();
    return list;
}

Expected<std::string> TExcelcom::AddSheet(std::string_view wantedName)
{
    if (auto s = connect(); !s)
        return s.error();
    return dropOnFailure(m_book->addSheet(wantedName));
}

Status TExcelcom::OpenActiveSheet()
{
    if (auto s = connect(); !s)
        return s;
    const int active = m_book->activeTab();
    if (active < 0)
        return dropOnFailure(Status(Error{"'" + m_book->displayName() + "' has no sheet"}));
    const SheetTab& tab = m_book->tabs()[static_cast<std::size_t>(active)];
    if (tab.kind != SheetKind::Worksheet)
        return dropOnFailure(Status(Error{
            "The active sheet " + quoteForMessage(tab.name) + " of '" + m_book->displayName() + "' is " +
            (tab.kind == SheetKind::Chartsheet ? "a chart sheet" : "a macro or dialog sheet") + ", not a worksheet"}));
    return success();
}

Status TExcelcom::WriteRange(int firstCol, int lastCol, int firstRow, int lastRow, const ValueBlock& block)
{
    if (auto s = connect(); !s)
        return s;
    return dropOnFailure(m_book->writeRange(firstCol, lastCol, firstRow, lastRow, block, kExportNumberFormat));
}

Status TExcelcom::CloseConnection()
{
    std::optional<XlsxWorkbook> book = std::move(m_book);
    m_book.reset();
    Status closed = success();
    if (book && book->modified()) {
        auto bytes = book->save();
        closed = bytes ? m_store->store(*bytes) : Status(bytes.error());
        if (closed)
            m_warnings = book->warnings();
    }
    if (m_store)
        m_store->release();
    return closed;
}

} // namespace morvane
