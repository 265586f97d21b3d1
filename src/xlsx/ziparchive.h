#pragma once
// A workbook package held in memory: libzip reads it from a buffer, with bounded reads for
// untrusted archives; the rewrite (zipwriter.h) copies untouched entries as their stored bytes
// and deflates the changed ones.

#include "common/expected.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

struct zip;

namespace morvane::xlsx {

class ZipArchive {
public:
    // Reads from `bytes`, which must outlive the archive. Refuses more than `maxEntries` entries,
    // encrypted entries, names that differ only in letter case, and declared sizes adding up to
    // more than `maxTotalBytes`. Errors give the reason only.
    static Expected<ZipArchive> open(std::string_view bytes, std::uint64_t maxEntries, std::uint64_t maxTotalBytes);
    static Expected<ZipArchive> open(std::string&& bytes, std::uint64_t, std::uint64_t) = delete;
    // An archive of the given parts that exists only in memory, as a workbook made from nothing
    // is before its first save: nothing of it is stored, so nothing is inflated or copied.
    static ZipArchive fromParts(std::vector<std::pair<std::string, std::string>> parts);

    ZipArchive(ZipArchive&& other) noexcept;
    ZipArchive& operator=(ZipArchive&& other) noexcept;
    ~ZipArchive();

    std::size_t entryCount() const { return m_names.size(); }
    const std::string& entryName(std::size_t index) const { return m_names[index]; }
    // Part names compare without regard to ASCII case.
    std::optional<std::size_t> find(std::string_view name) const;
    bool contains(std::string_view name) const { return find(name).has_value(); }

    // The whole entry. Fails when the directory declares more than `cap` bytes, before anything
    // is inflated, and as soon as more than `cap` or more than declared come out. `spare` bytes
    // of room are kept after it, for text to go in without copying a large part.
    Expected<std::string> read(std::size_t index, std::uint64_t cap, std::size_t spare = 0) const;
    // Reads the start of an entry chunk by chunk until `enough` says so, the entry ends or
    // about `cap` bytes were read, whichever comes first.
    Expected<std::string> readStart(std::size_t index, std::uint64_t cap,
                                    const std::function<bool(const std::string&)>& enough) const;
    // Hands the whole entry to `consume` in pieces as it is inflated, holding none of it; fails
    // as read() does.
    Status scan(std::size_t index, std::uint64_t cap, const std::function<void(std::string_view)>& consume) const;
    // The uncompressed size the archive's directory gives.
    std::uint64_t declaredSize(std::size_t index) const;

    // Changes, kept in memory until commit(); an entry without changes is copied as it is
    // stored, without being inflated.
    void replace(std::size_t index, std::string data);
    void add(std::string name, std::string data);
    bool changed(std::size_t index) const;

    // A new archive of the given entries, deflated (see zipwriter.h).
    static Expected<std::string> build(const std::vector<std::pair<std::string, std::string>>& entries);

    // The new archive as bytes: the entries in their order, each replaced one in its place, the
    // new ones after them. The archive is spent afterwards, whether this succeeds or not.
    Expected<std::string> commit(int compressionLevel);

private:
    ZipArchive() = default;
    void close();
    Status inflate(std::size_t index, std::uint64_t cap, bool failOverCap,
                   const std::function<bool(std::string_view)>& consume) const;
    Status copyStored(std::size_t index, std::uint64_t size, char* out) const;

    zip* m_zip = nullptr;
    std::vector<std::string> m_parts; // fromParts: the data of each entry
    bool m_inMemory = false;
    std::vector<std::string> m_names;
    std::unordered_map<std::string, std::size_t> m_byFoldedName;
    std::deque<std::pair<std::optional<std::size_t>, std::string>> m_changes; // index or new, data
    std::deque<std::string> m_newNames;
};

// Inflates every entry of an archive on a thread of its own, keeping nothing, to find those
// that are damaged (their checksum does not match, or they hold more than declared): a save
// copies most parts as they are stored, and the check then costs no time of the edit's own.
// `bytes` must outlive it.
class ChecksumCheck {
public:
    explicit ChecksumCheck(std::string_view bytes);
    ~ChecksumCheck();
    ChecksumCheck(const ChecksumCheck&) = delete;
    ChecksumCheck& operator=(const ChecksumCheck&) = delete;

    // Waits for the end of the check: why each damaged entry is, by index.
    const std::map<std::size_t, std::string>& damaged();

private:
    void run();
    std::string_view m_bytes;
    std::atomic<bool> m_stop = false;
    std::map<std::size_t, std::string> m_damaged;
    std::thread m_thread;
};

} // namespace morvane::xlsx
