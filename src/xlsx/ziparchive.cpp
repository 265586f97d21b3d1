#include "xlsx/ziparchive.h"

#include "common/text.h"
#include "xlsx/zipwriter.h"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace morvane::xlsx {

namespace {

constexpr std::uint64_t kMegabyte = std::uint64_t{1} << 20;

std::string zipErrorText(zip_error_t* error)
{
    std::string text = zip_error_strerror(error);
    zip_error_fini(error);
    return text;
}

struct FileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

std::uint64_t declaredSizeOf(zip_t* archive, std::size_t index)
{
    zip_stat_t st;
    if (zip_stat_index(archive, index, 0, &st) == 0 && (st.valid & ZIP_STAT_SIZE))
        return st.size;
    return 0;
}

// Hands the entry to `consume` in chunks until it returns true.
Status inflateEntry(zip_t* archive, std::size_t index, const std::string& name, std::uint64_t cap, bool failOverCap,
                    const std::function<bool(std::string_view)>& consume)
{
    const auto tooLarge = [&] {
        return Error{.message = "part '" + name + "' is larger than " + std::to_string(cap / kMegabyte) +
                                " MB, more than this program reads",
                     .kind = ErrorKind::Limit};
    };
    const std::uint64_t declared = declaredSizeOf(archive, index);
    if (failOverCap && declared > cap)
        return tooLarge();
    std::unique_ptr<zip_file_t, FileCloser> file(zip_fopen_index(archive, index, 0));
    if (!file)
        return Error{"part '" + name + "' cannot be read (" + zip_strerror(archive) + ")"};
    std::uint64_t total = 0;
    char chunk[64 * 1024];
    for (;;) {
        const zip_int64_t n = zip_fread(file.get(), chunk, sizeof chunk);
        if (n < 0) {
            zip_error_t* error = zip_file_get_error(file.get());
            if (zip_error_code_zip(error) == ZIP_ER_CRC)
                return Error{"part '" + name + "' is damaged: its checksum does not match its contents"};
            return Error{"part '" + name + "' cannot be read (" + zip_error_strerror(error) + ")"};
        }
        if (n == 0)
            break;
        total += static_cast<std::uint64_t>(n);
        // What the directory declares is what the limits were checked against.
        if (total > declared)
            return Error{"part '" + name + "' holds more than the " + std::to_string(declared) +
                         " bytes its directory entry declares"};
        if (failOverCap && total > cap)
            return tooLarge();
        if (consume(std::string_view(chunk, static_cast<std::size_t>(n))))
            break;
    }
    return success();
}
} // namespace

Expected<ZipArchive> ZipArchive::open(std::string_view bytes, std::uint64_t maxEntries, std::uint64_t maxTotalBytes)
{
    ZipArchive archive;
    zip_error_t error;
    zip_error_init(&error);
    // Only read: the rewrite is commit()'s own, so libzip needs no copy of the bytes to write to.
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (!source)
        return Error{zipErrorText(&error)};
    archive.m_zip = zip_open_from_source(source, ZIP_CHECKCONS | ZIP_RDONLY, &error);
    const int refusal = archive.m_zip ? ZIP_ER_OK : zip_error_code_zip(&error);
    // An entry name found twice: libzip does not say which, the loop below does. Local headers
    // that differ from the directory: writers that follow an entry with a data descriptor leave
    // sizes 0 there but may give its checksum, another version or time; Excel and LibreOffice
    // read such entries by the directory, and so does this program, if each inflates to its
    // checksum (checked below).
    if (refusal == ZIP_ER_EXISTS || refusal == ZIP_ER_INCONS) {
        zip_error_fini(&error);
        zip_error_init(&error);
        archive.m_zip = zip_open_from_source(source, ZIP_RDONLY, &error);
    }
    if (!archive.m_zip) {
        zip_source_free(source);
        return Error{"it is not a valid ZIP archive (" + zipErrorText(&error) + ")"};
    }
    zip_error_fini(&error);

    const zip_int64_t count = zip_get_num_entries(archive.m_zip, 0);
    if (count < 0 || static_cast<std::uint64_t>(count) > maxEntries)
        return Error{"it holds more than " + std::to_string(maxEntries) + " parts"};
    archive.m_names.reserve(static_cast<std::size_t>(count));
    std::uint64_t total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive.m_zip, static_cast<zip_uint64_t>(i), 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME))
            return Error{"entry " + std::to_string(i) + " cannot be read (" + zip_strerror(archive.m_zip) + ")"};
        std::string name = st.name;
        if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE)
            return Error{"part " + quoteForMessage(name) + " is encrypted"};
        if (st.valid & ZIP_STAT_SIZE)
            total += st.size;
        if (total > maxTotalBytes)
            return Error{"its parts add up to more than " + std::to_string(maxTotalBytes / kMegabyte) + " MB"};
        const auto [it, added] = archive.m_byFoldedName.emplace(foldAscii(name), static_cast<std::size_t>(i));
        if (!added && archive.m_names[it->second] == name)
            return Error{"it holds the entry " + quoteForMessage(name) + " twice"};
        if (!added)
            return Error{"it holds the part " + quoteForMessage(name) +
                         " twice (part names do not depend on letter case)"};
        archive.m_names.push_back(std::move(name));
    }
    if (refusal == ZIP_ER_INCONS)
        for (std::size_t i = 0; i < archive.m_names.size(); ++i)
            if (auto intact = archive.inflate(i, maxTotalBytes, true, [](std::string_view) { return false; }); !intact)
                return Error{"its local headers do not match its directory, and " + intact.error().message};
    return archive;
}

ZipArchive::ZipArchive(ZipArchive&& other) noexcept
{
    *this = std::move(other);
}

ZipArchive& ZipArchive::operator=(ZipArchive&& other) noexcept
{
    if (this != &other) {
        close();
        m_zip = std::exchange(other.m_zip, nullptr);
        m_parts = std::move(other.m_parts);
        m_inMemory = std::exchange(other.m_inMemory, false);
        m_names = std::move(other.m_names);
        m_byFoldedName = std::move(other.m_byFoldedName);
        m_changes = std::move(other.m_changes);
        m_newNames = std::move(other.m_newNames);
    }
    return *this;
}

ZipArchive::~ZipArchive()
{
    close();
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): the names and data are moved out of it
ZipArchive ZipArchive::fromParts(std::vector<std::pair<std::string, std::string>> parts)
{
    ZipArchive archive;
    archive.m_inMemory = true;
    for (auto& [name, data] : parts) {
        archive.m_byFoldedName.emplace(foldAscii(name), archive.m_names.size());
        archive.m_names.push_back(std::move(name));
        archive.m_parts.push_back(std::move(data));
    }
    return archive;
}

void ZipArchive::close()
{
    if (m_zip)
        zip_discard(m_zip);
    m_zip = nullptr;
    m_parts.clear();
    m_inMemory = false;
}

std::optional<std::size_t> ZipArchive::find(std::string_view name) const
{
    const auto it = m_byFoldedName.find(foldAscii(name));
    if (it == m_byFoldedName.end())
        return std::nullopt;
    return it->second;
}

Expected<std::string> ZipArchive::read(std::size_t index, std::uint64_t cap, std::size_t spare) const
{
    if (m_inMemory) {
        if (m_parts[index].size() > cap)
            return Error{.message = "part '" + m_names[index] + "' is larger than " + std::to_string(cap / kMegabyte) +
                                    " MB, more than this program reads",
                         .kind = ErrorKind::Limit};
        std::string out;
        out.reserve(m_parts[index].size() + spare);
        out = m_parts[index];
        return out;
    }
    std::string out;
    // The declared size is checked against the cap before anything is inflated, and no more
    // than that comes out.
    out.reserve(static_cast<std::size_t>(std::min(declaredSize(index), cap)) + spare);
    if (auto s = inflate(index, cap, true,
                         [&](std::string_view chunk) {
                             out.append(chunk);
                             return false;
                         });
        !s)
        return s.error();
    return out;
}

Expected<std::string> ZipArchive::readStart(std::size_t index, std::uint64_t cap,
                                            const std::function<bool(const std::string&)>& enough) const
{
    if (m_inMemory)
        return m_parts[index].substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(cap, m_parts[index].size())));
    std::string out;
    if (auto s = inflate(index, cap, false,
                         [&](std::string_view chunk) {
                             out.append(chunk);
                             return enough(out) || out.size() >= cap;
                         });
        !s)
        return s.error();
    return out;
}

Status ZipArchive::scan(std::size_t index, std::uint64_t cap,
                        const std::function<void(std::string_view)>& consume) const
{
    if (m_inMemory) {
        consume(m_parts[index]);
        return success();
    }
    return inflate(index, cap, true, [&](std::string_view piece) {
        consume(piece);
        return false;
    });
}

std::uint64_t ZipArchive::declaredSize(std::size_t index) const
{
    return m_inMemory ? m_parts[index].size() : declaredSizeOf(m_zip, index);
}

Status ZipArchive::inflate(std::size_t index, std::uint64_t cap, bool failOverCap,
                           const std::function<bool(std::string_view)>& consume) const
{
    return inflateEntry(m_zip, index, m_names[index], cap, failOverCap, consume);
}

bool ZipArchive::changed(std::size_t index) const
{
    return std::any_of(m_changes.begin(), m_changes.end(), [&](const auto& change) { return change.first == index; });
}

void ZipArchive::replace(std::size_t index, std::string data)
{
    m_changes.emplace_back(index, std::move(data));
}

void ZipArchive::add(std::string name, std::string data)
{
    m_newNames.push_back(std::move(name));
    m_changes.emplace_back(std::nullopt, std::move(data));
}

Expected<std::string> ZipArchive::build(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::vector<ZipEntry> parts;
    parts.reserve(entries.size());
    for (const auto& [name, data] : entries)
        parts.push_back({name, data});
    return zipEntries(parts, "a new workbook");
}

// The entry's bytes as the archive stores them, without inflating them.
Status ZipArchive::copyStored(std::size_t index, std::uint64_t size, char* out) const
{
    const auto cannotCopy = [&] {
        return Error{"cannot copy part " + quoteForMessage(m_names[index]) + " (" + zip_strerror(m_zip) + ")"};
    };
    std::unique_ptr<zip_file_t, FileCloser> file(zip_fopen_index(m_zip, index, ZIP_FL_COMPRESSED));
    if (!file)
        return cannotCopy();
    std::uint64_t copied = 0;
    while (copied < size) {
        const zip_int64_t n = zip_fread(file.get(), out + copied, size - copied);
        if (n <= 0)
            return cannotCopy();
        copied += static_cast<std::uint64_t>(n);
    }
    return success();
}

Expected<std::string> ZipArchive::commit(int compressionLevel)
{
    if (!m_zip && !m_inMemory)
        return Error{"the workbook was already saved"};
    // Spent afterwards, whatever happens.
    struct Closer {
        ZipArchive& archive;
        ~Closer() { archive.close(); }
    } closer{*this};

    std::vector<const std::string*> replaced(m_names.size(), nullptr);
    for (const auto& [index, data] : m_changes)
        if (index)
            replaced[*index] = &data;
    ZipWriter writer("the new workbook", compressionLevel);
    std::uint64_t stored = 0;
    for (std::size_t i = 0; i < m_names.size() && !m_inMemory; ++i) {
        zip_stat_t st;
        if (!replaced[i] && zip_stat_index(m_zip, i, 0, &st) == 0 && (st.valid & ZIP_STAT_COMP_SIZE))
            stored += st.comp_size;
    }
    writer.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(stored, 1ull << 30)) + std::size_t{64} * 1024);

    // The entries in the order of the archive, those replaced in their places; new ones after them.
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        const std::string& name = m_names[i];
        if (replaced[i] || m_inMemory) {
            if (auto added = writer.add(name, replaced[i] ? *replaced[i] : m_parts[i]); !added)
                return added.error();
            continue;
        }
        zip_stat_t st;
        constexpr zip_uint64_t kNeeded =
            ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD | ZIP_STAT_MTIME;
        if (zip_stat_index(m_zip, i, 0, &st) != 0 || (st.valid & kNeeded) != kNeeded)
            return Error{"cannot copy part " + quoteForMessage(name) + " (" + zip_strerror(m_zip) + ")"};
        const StoredEntry entry{st.comp_method, st.crc, st.size, st.comp_size, st.mtime};
        if (auto added = writer.addStored(name, entry, [&](char* out) { return copyStored(i, st.comp_size, out); });
            !added)
            return added.error();
    }
    std::size_t newName = 0;
    for (const auto& [index, data] : m_changes)
        if (!index)
            if (auto added = writer.add(m_newNames[newName++], data); !added)
                return added.error();
    return writer.finish();
}

ChecksumCheck::ChecksumCheck(std::string_view bytes) : m_bytes(bytes)
{
    try {
        m_thread = std::thread(&ChecksumCheck::run, this);
    } catch (const std::system_error&) {
        run(); // no thread to be had: the check takes its time now
    }
}

ChecksumCheck::~ChecksumCheck()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

const std::map<std::size_t, std::string>& ChecksumCheck::damaged()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_damaged;
}

void ChecksumCheck::run()
{
    zip_error_t error;
    zip_error_init(&error);
    // A second, read-only view of the same bytes: libzip keeps state per archive.
    zip_source_t* source = zip_source_buffer_create(m_bytes.data(), m_bytes.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(source);
        return;
    }
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    const auto stop = [&](std::string_view) { return m_stop.load(); };
    for (zip_int64_t i = 0; i < count && !m_stop; ++i) {
        const auto index = static_cast<std::size_t>(i);
        zip_stat_t st;
        if (zip_stat_index(archive, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME))
            continue;
        if (auto intact = inflateEntry(archive, index, st.name, std::numeric_limits<std::uint64_t>::max(), true, stop);
            !intact && !m_stop)
            m_damaged.emplace(index, intact.error().message);
    }
    zip_discard(archive);
}

} // namespace morvane::xlsx
