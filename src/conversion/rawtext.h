#pragma once
// The raw data text file as loaded: every byte kept, cut into lines.

#include "common/expected.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// The export is single-byte text. Files written by the instrument are ASCII or Windows-1252;
// a file re-saved by another program may be UTF-8. Whichever it is decides how a line turns
// into text for the screen and the workbook.
enum class TextEncoding { Utf8, Windows1252 };

// How a file's bytes come into memory. Read: copied, so the text stays as it was read whatever
// happens to the file. Map: the file's own pages are used where the system can map them,
// which saves clearing memory and copying the file; for a text used for a moment and then
// dropped (the converter). Another program that shortens or rewrites the file meanwhile
// changes the text: RawText::unchanged() says whether that happened.
enum class FileAccess { Read, Map };

namespace detail {
// Asks for the memory at `at` to be brought into the cache; never faults.
inline void prefetch(const char* at)
{
#if defined(__GNUC__) || defined(__clang__)
    // The address passes through an empty asm: GCC 12 drops the prefetch otherwise (an address
    // past the end of an object, such as a short text's inline buffer, may be why).
    asm volatile("" : "+r"(at));
    __builtin_prefetch(at);
#else
    static_cast<void>(at);
#endif
}
} // namespace detail

class RawText {
public:
    // Largest file accepted.
    static constexpr std::uint64_t maxBytes = 512ull * 1024 * 1024;

    RawText() = default;
    RawText(const RawText& other);
    RawText& operator=(const RawText& other);
    RawText(RawText&&) noexcept;
    RawText& operator=(RawText&&) noexcept;
    ~RawText();

    // Lines end at CR LF, LF or CR. A final line break makes no empty line, and blank lines at
    // the end of the file (as left by editing) are dropped. A UTF-8 byte-order mark is dropped;
    // text after a UTF-16 one (little or big endian) is turned into UTF-8 first. A NUL byte
    // means the data is not text: the error names `name` and the first line with one.
    static Expected<RawText> fromBytes(std::string bytes, std::string_view name = "input");

    std::size_t lineCount() const { return m_lines.size(); }
    bool empty() const { return m_lines.empty(); }
    std::string_view line(std::size_t index) const
    {
        const auto& span = m_lines[index];
        return std::string_view(bytes() + span.offset, span.length);
    }
    // For a walk through the lines in order: asks for the bytes a page after line `index` to be
    // brought in. A mapped file's pages are small, and the processor's own look-ahead stops at
    // the end of each; it does not fault, wherever that is.
    void prefetchAfter(std::size_t index) const { prefetch(bytes() + m_lines[index].offset + kPrefetchDistance); }
    TextEncoding encoding() const { return m_encoding; }
    // Whether `count` bytes from the start of `piece` (a line or a field of this text) lie within
    // the text, whatever the piece's own length.
    bool holdsBytesFrom(std::string_view piece, std::size_t count) const
    {
        return static_cast<std::size_t>(bytes() + byteCount() - piece.data()) >= count;
    }

    // False when the text may no longer be the file's as loaded: a mapped file (FileAccess::Map)
    // was shortened, so that its missing part now reads as NUL bytes, or written since. A
    // result made from the text is then not to be saved.
    bool unchanged() const;

    // A piece of this text (a line or a field of one) as UTF-8.
    std::string toUtf8(std::string_view piece) const;
    // Every line, each followed by '\n', as UTF-8: what the memo shows.
    std::string allAsUtf8() const;

private:
    static constexpr std::size_t kPrefetchDistance = 4096;
    static void prefetch(const char* at) { detail::prefetch(at); }

    friend Expected<RawText> loadRawFile(const std::filesystem::path& path, FileAccess access);

    struct Span {
        std::uint32_t offset;
        std::uint32_t length;
    };
    // A file's bytes as read, in memory that was never filled with anything else, or its own
    // pages mapped.
    struct Unmap {
        std::size_t size;       // the file's bytes
        std::size_t mapped = 0; // the memory that holds them, from the same address
        void operator()(char* bytes) const;
    };
    using ReadBuffer = std::unique_ptr<char[], Unmap>;
    static ReadBuffer allocateReadBuffer(std::size_t size);
    // Reads the whole file, or maps it, after loadRawFile has looked at its type, the way the
    // system reads fastest (rawtext_posix.cpp, rawtext_windows.cpp).
    static Expected<RawText> readFile(const std::filesystem::path& path, FileAccess access);
    // The file behind mapped bytes, watched for changes (rawtext_posix.cpp).
    class MappedFile;
    struct StopWatching {
        void operator()(MappedFile* file) const;
    };

    // Cuts the text (with `start` bytes of byte-order mark in front) into lines.
    static Expected<RawText> cut(RawText text, std::size_t start, std::string_view name);
    const char* bytes() const { return m_read ? m_read.get() : m_owned.data(); }
    std::size_t byteCount() const { return m_read ? m_read.get_deleter().size : m_owned.size(); }

    std::string m_owned;                  // the bytes given to fromBytes
    ReadBuffer m_read{nullptr, Unmap{0}}; // or those loadRawFile read
    std::vector<Span> m_lines;
    TextEncoding m_encoding = TextEncoding::Utf8;
    // After m_read: it stops watching before the bytes are unmapped.
    std::unique_ptr<MappedFile, StopWatching> m_mapped;
    bool m_changedBeforeCopy = false; // a copy of a text that had already changed
};

// Reads a whole file. Errors name the file and the reason (cannot be opened, too large, not text,
// not a regular file: a folder, FIFO, device or socket is refused without opening it).
Expected<RawText> loadRawFile(const std::filesystem::path& path, FileAccess access = FileAccess::Read);

// Appends the UTF-8 form of Windows-1252 bytes.
void appendWindows1252AsUtf8(std::string_view bytes, std::string& out);

} // namespace morvane
