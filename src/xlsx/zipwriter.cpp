#include "xlsx/zipwriter.h"

#include "common/platform.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <memory>

namespace morvane::xlsx {

namespace {

constexpr std::uint64_t kZip32Limit = 0xFFFFFFFFu;

void putLe(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The modification time as a zip entry keeps it: MS-DOS time and date, local time.
std::pair<std::uint16_t, std::uint16_t> dosTimeNow()
{
    const std::tm local = platform::localTime(std::time(nullptr));
    const int year = std::clamp(local.tm_year + 1900, 1980, 2107);
    const auto time = static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    const auto date = static_cast<std::uint16_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    return {time, date};
}

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

struct CompressorFree {
    void operator()(libdeflate_compressor* compressor) const { libdeflate_free_compressor(compressor); }
};

// Where an entry went: what its directory record repeats.
struct Written {
    std::string header; // the fields both headers share
    std::string_view name;
    std::uint32_t offset = 0;
};

} // namespace

Expected<std::string> zipEntries(const std::vector<ZipEntry>& entries, std::string_view what, int level)
{
    const auto tooLarge = [&] {
        return Error{"cannot build " + std::string(what) +
                     ": it is too large for a zip archive without its 64-bit extension"};
    };
    std::unique_ptr<libdeflate_compressor, CompressorFree> compressor(libdeflate_alloc_compressor(level));
    if (!compressor)
        return Error{"cannot build " + std::string(what) + ": out of memory"};
    const auto [time, date] = dosTimeNow();

    std::string out;
    std::vector<Written> written;
    for (const ZipEntry& entry : entries) {
        if (entry.data.size() >= kZip32Limit || entry.name.size() > 0xFFFF)
            return tooLarge();
        const std::size_t start = out.size();
        std::string header;
        putLe(header, 20, 2);                               // version needed: 2.0
        putLe(header, isAscii(entry.name) ? 0 : 0x0800, 2); // flags: UTF-8 name
        putLe(header, 8, 2);                                // deflate
        putLe(header, time, 2);
        putLe(header, date, 2);
        putLe(header, libdeflate_crc32(0, entry.data.data(), entry.data.size()), 4);
        const std::size_t sizesAt = header.size();
        putLe(header, 0, 4); // compressed size, filled in below
        putLe(header, static_cast<std::uint32_t>(entry.data.size()), 4);
        putLe(header, static_cast<std::uint32_t>(entry.name.size()), 2);

        putLe(out, 0x04034b50, 4); // local file header
        out += header;
        putLe(out, 0, 2); // extra field length
        out += entry.name;
        const std::size_t dataAt = out.size();
        const std::size_t bound = libdeflate_deflate_compress_bound(compressor.get(), entry.data.size());
        out.resize(dataAt + bound);
        const std::size_t packed = libdeflate_deflate_compress(compressor.get(), entry.data.data(), entry.data.size(),
                                                               out.data() + dataAt, bound);
        if (packed == 0)
            return Error{"cannot build " + std::string(what) + ": the deflate failed"};
        out.resize(dataAt + packed);
        // The compressed size is known only now: into both the local header and the directory's copy.
        for (int i = 0; i < 4; ++i) {
            const char byte = static_cast<char>((packed >> (8 * i)) & 0xFF);
            header[sizesAt + static_cast<std::size_t>(i)] = byte;
            out[start + 4 + sizesAt + static_cast<std::size_t>(i)] = byte;
        }
        if (out.size() >= kZip32Limit)
            return tooLarge();
        written.push_back({std::move(header), entry.name, static_cast<std::uint32_t>(start)});
    }

    const std::size_t directoryStart = out.size();
    for (const Written& entry : written) {
        putLe(out, 0x02014b50, 4); // central directory header
        putLe(out, 20, 2);         // made by: MS-DOS attributes, version 2.0
        out += entry.header;
        putLe(out, 0, 2); // extra field length
        putLe(out, 0, 2); // comment length
        putLe(out, 0, 2); // disk number
        putLe(out, 0, 2); // internal attributes
        putLe(out, 0, 4); // external attributes
        putLe(out, entry.offset, 4);
        out += entry.name;
    }
    const std::size_t directorySize = out.size() - directoryStart;
    if (out.size() >= kZip32Limit || written.size() > 0xFFFF)
        return tooLarge();
    putLe(out, 0x06054b50, 4); // end of central directory
    putLe(out, 0, 2);
    putLe(out, 0, 2);
    putLe(out, static_cast<std::uint32_t>(written.size()), 2);
    putLe(out, static_cast<std::uint32_t>(written.size()), 2);
    putLe(out, static_cast<std::uint32_t>(directorySize), 4);
    putLe(out, static_cast<std::uint32_t>(directoryStart), 4);
    putLe(out, 0, 2);
    return out;
}

} // namespace morvane::xlsx
