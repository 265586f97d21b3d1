#include "conversion/dataline.h"

#include "common/text.h"

#include <algorithm>

namespace morvane {

namespace {

bool isAscii(std::string_view piece)
{
    for (char c : piece)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

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

DataLineReader::DataLineReader(const RawText& text, int programFromEnd, int cycleFromEnd, int readingFromEnd)
    : m_text(text), m_programFromEnd(programFromEnd), m_cycleFromEnd(cycleFromEnd), m_readingFromEnd(readingFromEnd)
{
    const int needed = std::max({kTrailingFields + 1, programFromEnd, cycleFromEnd, readingFromEnd});
    m_minFields = static_cast<std::size_t>(needed);
}

bool DataLineReader::split(std::size_t index)
{
    m_index = index;
    splitline(' ', m_text.line(index), m_fields);
    if (m_fields.size() >= m_minFields)
        return true;
    return fail("too few fields for a data line: " + std::to_string(m_fields.size()) + " where at least " +
                std::to_string(m_minFields) + " are needed (the well first, the program number " +
                fromEndText(m_programFromEnd) + ", the cycle number " + fromEndText(m_cycleFromEnd) + ", the reading " +
                fromEndText(m_readingFromEnd) + ")");
}

void DataLineReader::sampleName(std::string& out) const
{
    out.clear();
    const std::size_t n = m_fields.size();
    for (std::size_t i = 1; i + kTrailingFields < n; ++i) {
        out.push_back(' ');
        out.append(m_fields[i]);
    }
    if (!isAscii(out))
        out = m_text.toUtf8(out);
}

bool DataLineReader::fail(std::string message)
{
    m_error = Error{std::move(message), m_index + 1};
    return false;
}

bool DataLineReader::number(std::string_view field, const char* what, int& value)
{
    if (const auto parsed = parseWholeNumber(field)) {
        value = *parsed;
        return true;
    }
    return fail("'" + m_text.toUtf8(field) + "' is not a valid integer value (" + what + ")");
}

} // namespace morvane
