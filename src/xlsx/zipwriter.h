#pragma once
// The one zip writer of the project: a new archive of deflated entries, for the RDML file and
// a new workbook, and the rewrite of an edited workbook, whose untouched entries go in as their
// stored (compressed) bytes. libdeflate rather than zlib: at its fastest level it is three times
// as fast on this XML and packs it tighter, and the deflate is most of an export's time. No
// 64-bit extension: an archive or an entry of 4 GB is refused.

#include "common/expected.h"

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct libdeflate_compressor;

namespace morvane::xlsx {

struct ZipEntry {
    std::string name; // UTF-8
    std::string_view data;
};

// Deflate's fastest level: on this repetitive XML the file comes out a fifth larger than at the
// default level, in a quarter of the time.
inline constexpr int kFastestDeflate = 1;

// An entry as another archive stores it, copied without being inflated.
struct StoredEntry {
    std::uint16_t method = 0; // 0 stored, 8 deflated, or whatever the other archive used
    std::uint32_t crc = 0;
    std::uint64_t size = 0;           // inflated
    std::uint64_t compressedSize = 0; // what `copy` writes
    std::time_t modified = 0;
};

class ZipWriter {
public:
    // `what` names the archive in messages ("the RDML archive").
    explicit ZipWriter(std::string_view what, int level = kFastestDeflate);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // Room for about this many bytes of archive, to spare the copies of a growing buffer.
    void reserve(std::size_t bytes) { m_out.reserve(bytes); }
    // Deflates `data` as entry `name`, dated now.
    Status add(std::string_view name, std::string_view data);
    // Entry `name` of `entry.compressedSize` bytes that `copy` writes to the pointer it is given;
    // `copy` returns an error, or success once all of them are written.
    template <typename Copy> Status addStored(std::string_view name, const StoredEntry& entry, Copy&& copy)
    {
        auto at = beginStored(name, entry);
        if (!at)
            return at.error();
        if (auto copied = copy(m_out.data() + *at); !copied)
            return copied;
        return success();
    }
    // The directory after the entries: the archive, once.
    Expected<std::string> finish();

private:
    struct Written;
    Error tooLarge() const;
    // Writes the local header; returns where the stored bytes go, with room made for them.
    Expected<std::size_t> beginStored(std::string_view name, const StoredEntry& entry);
    Status header(std::string_view name, std::uint16_t method, std::uint32_t crc, std::uint64_t size,
                  std::uint16_t time, std::uint16_t date);
    void setCompressedSize(std::uint64_t size);

    std::string m_what;
    int m_level;
    libdeflate_compressor* m_compressor = nullptr;
    std::uint16_t m_time = 0; // now, as the entries added are dated
    std::uint16_t m_date = 0;
    std::string m_out;
    std::vector<Written> m_written;
};

// Whether an entry so named is read back under the same name: UTF-8 without control characters.
bool zipKeepsName(std::string_view name);

// A new archive of the given entries, deflated.
Expected<std::string> zipEntries(const std::vector<ZipEntry>& entries, std::string_view what,
                                 int level = kFastestDeflate);

} // namespace morvane::xlsx
