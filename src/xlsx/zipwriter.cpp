#include "xlsx/zipwriter.h"

#include "common/platform.h"
#include "common/text.h"

#include <libdeflate.h>

#include <algorithm>
#include <memory>
#include <new>
#include <utility>

namespace morvane::xlsx {

namespace {

constexpr std::uint64_t kZip32Limit = 0xFFFFFFFFu;

void putLe(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A modification time as a zip entry keeps it: MS-DOS time and date, local time.
std::pair<std::uint16_t, std::uint16_t> dosTime(std::time_t when)
{
    const std::tm local = platform::localTime(when);
    const int year = std::clamp(local.tm_year + 1900, 1980, 2107);
    const auto time = static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    const auto date = static_cast<std::uint16_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    return {time, date};
}

} // namespace

// Readers take a name flagged UTF-8 that is not as a damaged archive, and one with a control
// character as code page 437, which turns the character into another.
bool zipKeepsName(std::string_view name)
{
    const bool control = std::any_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
    return !control && isValidUtf8(name);
}

// Where an entry went: what its directory record repeats.
struct ZipWriter::Written {
    std::string header; // the fields both headers share
    std::string name;
    std::uint32_t offset = 0;
};

ZipWriter::ZipWriter(std::string_view what, int level)
    : m_what(what), m_level(level), m_compressor(libdeflate_alloc_compressor(level))
{
    std::tie(m_time, m_date) = dosTime(std::time(nullptr));
}

ZipWriter::~ZipWriter()
{
    libdeflate_free_compressor(m_compressor);
}

Error ZipWriter::tooLarge() const
{
    return Error{"cannot build " + m_what + ": it is too large for a zip archive without its 64-bit extension"};
}

// The compressed size is left 0: setCompressedSize() fills it in once it is known.
Status ZipWriter::header(std::string_view name, std::uint16_t method, std::uint32_t crc, std::uint64_t size,
                         std::uint16_t time, std::uint16_t date)
{
    if (size >= kZip32Limit || name.size() > 0xFFFF || m_out.size() >= kZip32Limit || m_written.size() >= 0xFFFF)
        return tooLarge();
    if (!zipKeepsName(name))
        return Error{"cannot build " + m_what + ": the part name " + quoteForMessage(name) +
                     " is not UTF-8 text without control characters"};
    Written entry;
    entry.offset = static_cast<std::uint32_t>(m_out.size());
    entry.name = std::string(name);
    std::string& fields = entry.header;
    putLe(fields, 20, 2);                         // version needed: 2.0
    putLe(fields, isAscii(name) ? 0 : 0x0800, 2); // flags: UTF-8 name
    putLe(fields, method, 2);
    putLe(fields, time, 2);
    putLe(fields, date, 2);
    putLe(fields, crc, 4);
    putLe(fields, 0, 4); // compressed size
    putLe(fields, static_cast<std::uint32_t>(size), 4);
    putLe(fields, static_cast<std::uint32_t>(name.size()), 2);

    putLe(m_out, 0x04034b50, 4); // local file header
    m_out += fields;
    putLe(m_out, 0, 2); // extra field length
    m_out += name;
    m_written.push_back(std::move(entry));
    return success();
}

// Into both the local header and the directory's copy of the last entry.
void ZipWriter::setCompressedSize(std::uint64_t size)
{
    Written& entry = m_written.back();
    constexpr std::size_t kAt = 14; // of the compressed size, in the shared fields
    for (std::size_t i = 0; i < 4; ++i) {
        const char byte = static_cast<char>((size >> (8 * i)) & 0xFF);
        entry.header[kAt + i] = byte;
        m_out[entry.offset + 4 + kAt + i] = byte;
    }
}

Status ZipWriter::add(std::string_view name, std::string_view data)
{
    if (!m_compressor)
        return Error{"cannot build " + m_what + ": out of memory"};
    if (auto written = header(name, 8, libdeflate_crc32(0, data.data(), data.size()), data.size(), m_time, m_date);
        !written)
        return written;
    // The bound is about the size of the data, the deflated part a fraction of it: it goes
    // through memory that is not filled first, so only the pages it takes are ever touched.
    const std::size_t bound = libdeflate_deflate_compress_bound(m_compressor, data.size());
    const std::unique_ptr<char[]> packedData(new (std::nothrow) char[bound]);
    if (!packedData)
        return Error{"cannot build " + m_what + ": out of memory"};
    const std::size_t packed =
        libdeflate_deflate_compress(m_compressor, data.data(), data.size(), packedData.get(), bound);
    if (packed == 0)
        return Error{"cannot build " + m_what + ": the deflate failed"};
    if (packed >= kZip32Limit)
        return tooLarge();
    m_out.append(packedData.get(), packed);
    setCompressedSize(packed);
    return success();
}

Expected<std::size_t> ZipWriter::beginStored(std::string_view name, const StoredEntry& entry)
{
    if (entry.compressedSize >= kZip32Limit)
        return tooLarge();
    const auto [time, date] = dosTime(entry.modified);
    if (auto written = header(name, entry.method, entry.crc, entry.size, time, date); !written)
        return written.error();
    setCompressedSize(entry.compressedSize);
    const std::size_t dataAt = m_out.size();
    m_out.resize(dataAt + static_cast<std::size_t>(entry.compressedSize));
    return dataAt;
}

Expected<std::string> ZipWriter::finish()
{
    const std::size_t directoryStart = m_out.size();
    for (const Written& entry : m_written) {
        putLe(m_out, 0x02014b50, 4); // central directory header
        putLe(m_out, 20, 2);         // made by: MS-DOS attributes, version 2.0
        m_out += entry.header;
        putLe(m_out, 0, 2); // extra field length
        putLe(m_out, 0, 2); // comment length
        putLe(m_out, 0, 2); // disk number
        putLe(m_out, 0, 2); // internal attributes
        putLe(m_out, 0, 4); // external attributes
        putLe(m_out, entry.offset, 4);
        m_out += entry.name;
    }
    const std::size_t directorySize = m_out.size() - directoryStart;
    if (m_out.size() >= kZip32Limit)
        return tooLarge();
    putLe(m_out, 0x06054b50, 4); // end of central directory
    putLe(m_out, 0, 2);
    putLe(m_out, 0, 2);
    putLe(m_out, static_cast<std::uint32_t>(m_written.size()), 2);
    putLe(m_out, static_cast<std::uint32_t>(m_written.size()), 2);
    putLe(m_out, static_cast<std::uint32_t>(directorySize), 4);
    putLe(m_out, static_cast<std::uint32_t>(directoryStart), 4);
    putLe(m_out, 0, 2);
    m_written.clear();
    return std::move(m_out);
}

Expected<std::string> zipEntries(const std::vector<ZipEntry>& entries, std::string_view what, int level)
{
    ZipWriter writer(what, level);
    for (const ZipEntry& entry : entries)
        if (auto added = writer.add(entry.name, entry.data); !added)
            return added.error();
    return writer.finish();
}

} // namespace morvane::xlsx
