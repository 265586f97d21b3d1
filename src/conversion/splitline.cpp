#include "conversion/splitline.h"

namespace morvane {

namespace {
bool isSeparator(char c)
{
    // Codes 1 to 32 in one comparison: 0 wraps round to the largest value.
    return static_cast<unsigned char>(static_cast<unsigned char>(c) - 1u) < 32u;
}
} // namespace

void splitline(char /*separator*/, std::string_view line, FieldList& fields)
{
    fields.m_fields.clear();
    fields.m_unquoted.clear();

    std::size_t pos = 0;
    const std::size_t n = line.size();
    while (pos < n && isSeparator(line[pos]))
        ++pos;
    while (pos < n) {
        if (line[pos] == '"') {
            ++pos;
            const std::size_t start = pos;
            bool doubled = false;
            std::size_t end = n;
            while (pos < n) {
                if (line[pos] == '"') {
                    if (pos + 1 < n && line[pos + 1] == '"') {
                        doubled = true;
                        pos += 2;
                        continue;
                    }
                    end = pos;
                    ++pos;
                    break;
                }
                ++pos;
            }
            // Without a closing quote the field runs to the end of the line.
            std::string_view raw = line.substr(start, end - start);
            if (!doubled) {
                fields.m_fields.push_back(raw);
            } else {
                // Unquoted text never outgrows its line, so with this capacity (taken before the
                // first view into the buffer is handed out) the buffer does not move.
                if (fields.m_unquoted.empty())
                    fields.m_unquoted.reserve(line.size());
                const std::size_t from = fields.m_unquoted.size();
                for (std::size_t i = 0; i < raw.size(); ++i) {
                    fields.m_unquoted.push_back(raw[i]);
                    if (raw[i] == '"' && i + 1 < raw.size() && raw[i + 1] == '"')
                        ++i;
                }
                fields.m_fields.emplace_back(fields.m_unquoted.data() + from, fields.m_unquoted.size() - from);
            }
        } else {
            const std::size_t start = pos;
            while (pos < n && !isSeparator(line[pos]))
                ++pos;
            fields.m_fields.push_back(line.substr(start, pos - start));
        }
        while (pos < n && isSeparator(line[pos]))
            ++pos;
    }
}

std::vector<std::string> splitline(std::string_view line)
{
    FieldList fields;
    splitline(' ', line, fields);
    return {fields.begin(), fields.end()};
}

} // namespace morvane
