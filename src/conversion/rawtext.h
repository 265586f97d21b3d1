#pragma once
// The raw data text file as loaded: every byte kept, cut into lines.

#include "common/expected.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// The export is single-byte text. Files written by the instrument are ASCII or Windows-1252;
// a file re-saved by another program may be UTF-8. Whichever it is decides how a line turns
// into text for the screen and the workbook.
enum class TextEncoding { Utf8, Windows1252 };

class RawText {
public:
    // Largest file accepted.
    static constexpr std::uint64_t maxBytes = 512ull * 1024 * 1024;
    // Blanks kept after the text, so that 64 bytes from the start of any line can be read.
    static constexpr std::size_t padding = 64;

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
        return std::string_view(m_bytes.data() + span.offset, span.length);
    }
    TextEncoding encoding() const { return m_encoding; }

    // A piece of this text (a line or a field of one) as UTF-8.
    std::string toUtf8(std::string_view piece) const;
    // Every line, each followed by '\n', as UTF-8: what the memo shows.
    std::string allAsUtf8() const;

private:
    struct Span {
        std::uint32_t offset;
        std::uint32_t length;
    };
    // Cuts the bytes (with `start` bytes of byte-order mark in front) into lines.
    Status cut(std::size_t start, std::string_view name);

    std::string m_bytes;
    std::vector<Span> m_lines;
    TextEncoding m_encoding = TextEncoding::Utf8;
};

// Reads a whole file into memory; the text is then the file as it was read, whatever happens to
// the file afterwards. Errors name the file and the reason: cannot be opened, too large, not
// text, not a regular file (a folder, FIFO, device or socket is refused without opening it), or
// changed while it was read (its size or time of last write differ after the read).
Expected<RawText> loadRawFile(const std::filesystem::path& path);

namespace detail {
// loadRawFile with `whileReading` called after the file's size and time were taken and before
// its bytes are read: how the tests change a file during the read.
Expected<RawText> loadRawFile(const std::filesystem::path& path, const std::function<void()>& whileReading);
} // namespace detail

// Appends the UTF-8 form of Windows-1252 bytes.
void appendWindows1252AsUtf8(std::string_view bytes, std::string& out);

} // namespace morvane
