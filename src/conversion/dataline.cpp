#include "conversion/dataline.h"

#include "common/decimal.h"
#include "common/text.h"

#include <algorithm>
#include <functional>

namespace morvane {

namespace {

std::string fromEndText(int position)
{
    if (position == 1)
        return "last";
    const char* suffix = "th";
    if (position % 100 < 11 || position % 100 > 13) {
        if (position % 10 == 1)
            suffix = "st";
        else if (position % 10 == 2)
            suffix = "nd";
        else if (position % 10 == 3)
            suffix = "rd";
    }
    return std::to_string(position) + suffix + " from the end";
}

} // namespace

std::string cellText(const RawText& text, std::string_view piece)
{
    return isAscii(piece) ? std::string(piece) : text.toUtf8(piece);
}

DataLineReader::DataLineReader(const RawText& text, const LineColumns& columns) : m_text(text), m_columns(columns)
{
    m_trailingFields = static_cast<std::size_t>(std::max(kTrailingFields, columns.programFromEnd));
    const int needed = std::max({kTrailingFields + 1, columns.programFromEnd, columns.cycleFromEnd,
                                 columns.readingFromEnd, columns.segmentFromEnd, columns.temperatureFromEnd});
    m_minFields = static_cast<std::size_t>(needed);
}

bool DataLineReader::split(std::size_t index)
{
    m_index = index;
    const std::string_view line = m_text.line(index);
    splitline(' ', line, m_fields);
    if (m_fields.size() >= m_minFields)
        // The sample cell is never longer than its line, so only a long line needs counting.
        return line.size() <= kMaxSampleNameLength || checkSampleNameLength();
    return fail("too few fields for a data line: " + std::to_string(m_fields.size()) + " where at least " +
                std::to_string(m_minFields) + " are needed (the well first, the program number " +
                fromEndText(m_columns.programFromEnd) + ", the cycle number " + fromEndText(m_columns.cycleFromEnd) +
                ", the reading " + fromEndText(m_columns.readingFromEnd) + ")");
}

bool DataLineReader::programTextOnly(std::size_t index, std::string_view& program) const
{
    // A line this short holds no sample name too long for a cell.
    static_assert(kMaxSampleNameLength >= 64);
    std::size_t fields = 0;
    const std::string_view line = m_text.line(index);
    return fieldOfPaddedLine(line, static_cast<std::size_t>(m_columns.programFromEnd), fields, program) &&
           fields >= m_minFields;
}

void DataLineReader::sampleName(std::string& out) const
{
    out.clear();
    const std::size_t n = m_fields.size();
    for (std::size_t i = 1; i + m_trailingFields < n; ++i) {
        out.push_back(' ');
        out.append(m_fields[i]);
    }
    if (!isAscii(out))
        out = m_text.toUtf8(out);
}

bool DataLineReader::inLine(std::string_view field) const
{
    const std::string_view line = m_text.line(m_index);
    const std::less_equal<const char*> notAfter;
    return notAfter(line.data(), field.data()) && notAfter(field.data() + field.size(), line.data() + line.size());
}

bool DataLineReader::sampleNameHadControls() const
{
    // The separators between the well, each word and the program number; a quoted field with
    // doubled quotes lies in the list's own buffer, and the gaps beside it are passed over.
    for (std::size_t i = 1; i + m_trailingFields <= m_fields.size(); ++i) {
        const std::string_view before = m_fields[i - 1];
        const std::string_view after = m_fields[i];
        if (!inLine(before) || !inLine(after))
            continue;
        for (const char* c = before.data() + before.size(); c < after.data(); ++c)
            if (*c != '\t' && *c != ' ' && static_cast<unsigned char>(*c) < 0x20)
                return true;
    }
    return false;
}

bool DataLineReader::hasSampleName(std::string_view name) const
{
    std::size_t at = 0;
    const std::size_t n = m_fields.size();
    for (std::size_t i = 1; i + m_trailingFields < n; ++i) {
        const std::string_view word = m_fields[i];
        // Windows-1252 text is converted on its way into a name: compared as written, then.
        if (m_text.encoding() != TextEncoding::Utf8 && !isAscii(word)) {
            std::string written;
            sampleName(written);
            return written == name;
        }
        if (at >= name.size() || name[at] != ' ' || name.substr(at + 1, word.size()) != word)
            return false;
        at += 1 + word.size();
    }
    return at == name.size();
}

// Refused here rather than at export, where only the cell would be named, not the line.
bool DataLineReader::checkSampleNameLength()
{
    const bool utf8 = m_text.encoding() == TextEncoding::Utf8;
    std::size_t units = 0;
    for (std::size_t i = 1; i + m_trailingFields < m_fields.size(); ++i) {
        ++units; // the blank before the word
        if (!utf8) {
            units += m_fields[i].size(); // Windows-1252: one byte, one character of the BMP
            continue;
        }
        for (char c : m_fields[i]) {
            const auto byte = static_cast<unsigned char>(c);
            // A character counts at its first byte, one beyond U+FFFF (four bytes) twice.
            units += ((byte & 0xC0) != 0x80) + (byte >= 0xF0);
        }
    }
    if (units <= kMaxSampleNameLength)
        return true;
    return fail("the sample name has " + std::to_string(units) + " characters; a cell holds at most " +
                std::to_string(kMaxSampleNameLength));
}

std::optional<double> parseTemperature(std::string_view field)
{
    return parseDecimalEitherSeparator(field);
}

bool DataLineReader::fail(std::string message)
{
    return failAt(m_index, std::move(message));
}

bool DataLineReader::failAt(std::size_t index, std::string message)
{
    m_error = Error{std::move(message), index + 1};
    return false;
}

bool DataLineReader::number(std::string_view field, const char* what, int& value)
{
    if (const auto parsed = parseWholeNumber(field)) {
        value = *parsed;
        return true;
    }
    return fail(quoteForMessage(m_text.toUtf8(field)) + " is not a valid integer value (" + what + ")");
}

} // namespace morvane
