#include "export/rdml.h"

#include "common/text.h"
#include "export/atomicsave.h"

#include <libdeflate.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <unordered_map>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace morvane {

namespace fs = std::filesystem;

namespace {

// Deflate's fastest level: on this repetitive XML the file comes out a fifth larger than at the
// default level, in a quarter of the time.
constexpr int kCompressionLevel = 1;

// "B12" into row 2, column 12, letter case aside; false for anything else.
bool parseWell(std::string_view name, int& row, int& col)
{
    std::size_t letters = 0;
    row = 0;
    while (letters < name.size() && isAsciiLetter(name[letters]) && letters < 2)
        row = row * 26 + (upperAscii(name[letters++]) - 'A' + 1);
    if (letters == 0 || letters == name.size())
        return false;
    const auto number = parseWholeNumber(name.substr(letters), PlusSign::Refused);
    if (!number)
        return false;
    col = *number;
    return true;
}

// Appends a number with a point for its decimal separator; false when the cell is no decimal
// number (an xs:float without INF and NaN). Blanks around it are dropped.
bool appendNumber(std::string& out, std::string_view cell)
{
    while (!cell.empty() && cell.front() == ' ')
        cell.remove_prefix(1);
    while (!cell.empty() && cell.back() == ' ')
        cell.remove_suffix(1);
    std::size_t i = 0;
    const std::size_t n = cell.size();
    if (i < n && (cell[i] == '+' || cell[i] == '-'))
        ++i;
    int digits = 0;
    while (i < n && isAsciiDigit(cell[i]))
        ++i, ++digits;
    if (i < n && (cell[i] == '.' || cell[i] == ','))
        for (++i; i < n && isAsciiDigit(cell[i]); ++i)
            ++digits;
    if (digits == 0)
        return false;
    if (i < n && (cell[i] == 'e' || cell[i] == 'E')) {
        ++i;
        if (i < n && (cell[i] == '+' || cell[i] == '-'))
            ++i;
        const std::size_t start = i;
        while (i < n && isAsciiDigit(cell[i]))
            ++i;
        if (i == start)
            return false;
    }
    if (i != n)
        return false;
    const std::size_t at = out.size();
    out.append(cell);
    std::replace(out.begin() + static_cast<std::ptrdiff_t>(at), out.end(), ',', '.');
    return true;
}

void appendInt(std::string& out, long long value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// A name XML 1.0 can hold and a reader gets back unchanged: valid UTF-8 without control
// characters (a tab or line break in an attribute would come back as a blank) and without the
// non-characters U+FFFE and U+FFFF.
Status checkName(std::string_view name, const std::string& what)
{
    if (name.empty())
        return Error{what + " is empty; RDML needs a name"};
    for (std::size_t pos = 0; pos < name.size();) {
        const std::size_t at = pos;
        const auto cp = decodeUtf8(name, pos);
        if (!cp)
            return Error{what + " '" + std::string(name) + "' is not valid UTF-8 text"};
        if (*cp < 0x20 || *cp == 0xFFFE || *cp == 0xFFFF) {
            char code[8];
            std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(*cp));
            std::string shown(name);
            for (char& c : shown)
                if (static_cast<unsigned char>(c) < 0x20)
                    c = '?';
            return Error{what + " '" + shown + "' holds a character XML cannot hold (U+" + code + " at byte " +
                         std::to_string(at + 1) + "); rename it and export again"};
        }
    }
    return success();
}

void appendEscaped(std::string& out, std::string_view text)
{
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
}

struct React {
    int id = 0;
    std::string well;      // as the plate names it: "B12"
    std::string sample;    // the sample's id
    std::vector<int> rows; // per channel: the row of its table, or -1
    const MeltWell* melt = nullptr;
};

struct Plan {
    std::vector<React> reacts;        // by react id
    std::vector<std::string> samples; // distinct, in the order of the first react holding each
    std::vector<int> meltChannel;     // per channel: its index among the melt's channels, or -1
    std::size_t meltChannels = 0;
};

std::string sampleCell(std::string_view cell)
{
    while (!cell.empty() && cell.front() == ' ')
        cell.remove_prefix(1);
    return std::string(cell);
}

Expected<Plan> makePlan(const RdmlContent& content, RdmlSummary& summary)
{
    if (content.tables.empty() || content.tables.size() != content.channels.size())
        return Error{"no channel to write, or a channel without its table"};
    for (std::size_t i = 0; i < content.channels.size(); ++i) {
        if (auto ok = checkName(content.channels[i], "the channel name"); !ok)
            return ok.error();
        if (std::find(content.channels.begin(), content.channels.begin() + static_cast<std::ptrdiff_t>(i),
                      content.channels[i]) != content.channels.begin() + static_cast<std::ptrdiff_t>(i))
            return Error{"the channel '" + content.channels[i] + "' is named twice"};
    }

    const PlateFormat format = content.format;
    const int wells = wellCount(format);
    const std::size_t channels = content.tables.size();
    std::vector<std::vector<int>> rowsById(static_cast<std::size_t>(wells) + 1);
    for (std::size_t channel = 0; channel < channels; ++channel) {
        const Grid& table = *content.tables[channel];
        if (table.colCount() < 2)
            continue;
        for (int row = 1; row < table.rowCount(); ++row) {
            const std::string& name = table.cell(row, 0);
            if (name.empty())
                continue; // the empty row of a table without wells
            int r = 0;
            int c = 0;
            if (!parseWell(name, r, c) || r < 1 || r > plateRows(format) || c < 1 || c > plateCols(format)) {
                if (channel == 0)
                    summary.wellsOffPlate.push_back(name);
                continue;
            }
            const auto index = static_cast<std::size_t>(checkListIndex(format, r, c));
            if (!content.ticks.empty() && (index >= content.ticks.size() || !content.ticks[index]))
                continue;
            auto& rows = rowsById[static_cast<std::size_t>(reactId(format, r, c))];
            if (rows.empty())
                rows.assign(channels, -1);
            if (rows[channel] < 0) // a well the file holds twice keeps its first readings
                rows[channel] = row;
        }
    }

    Plan plan;
    std::unordered_map<int, const MeltWell*> meltById;
    if (content.melt) {
        plan.meltChannels = content.melt->channels.size();
        for (const std::string& channel : content.channels) {
            const auto& names = content.melt->channels;
            const auto found = std::find(names.begin(), names.end(), channel);
            plan.meltChannel.push_back(found == names.end() ? -1 : static_cast<int>(found - names.begin()));
        }
        for (const MeltWell& well : content.melt->wells) {
            int r = 0;
            int c = 0;
            if (parseWell(well.name, r, c) && r >= 1 && r <= plateRows(format) && c >= 1 && c <= plateCols(format))
                meltById.try_emplace(reactId(format, r, c), &well);
        }
    }

    std::unordered_map<std::string, bool> sampleSeen;
    for (int id = 1; id <= wells; ++id) {
        auto& rows = rowsById[static_cast<std::size_t>(id)];
        if (rows.empty())
            continue;
        React react;
        react.id = id;
        const int row = (id - 1) / plateCols(format) + 1;
        const int col = (id - 1) % plateCols(format) + 1;
        react.well = wellName(row, col);
        for (std::size_t channel = 0; channel < channels && react.sample.empty(); ++channel)
            if (rows[channel] >= 0 && content.tables[channel]->colCount() > 1)
                react.sample = sampleCell(content.tables[channel]->cell(rows[channel], 1));
        if (react.sample.empty())
            react.sample = react.well;
        if (auto ok = checkName(react.sample, "the sample name of well " + react.well); !ok)
            return ok.error();
        if (sampleSeen.try_emplace(react.sample, true).second)
            plan.samples.push_back(react.sample);
        react.rows = std::move(rows);
        if (const auto melt = meltById.find(id); melt != meltById.end())
            react.melt = melt->second;
        plan.reacts.push_back(std::move(react));
    }
    summary.reacts = static_cast<int>(plan.reacts.size());
    return plan;
}

Error notANumber(const React& react, const std::string& channel, const std::string& what, std::string_view cell)
{
    return Error{"well " + react.well + ", channel " + channel + ", " + what + ": '" + std::string(cell) +
                 "' is not a number"};
}

} // namespace

RdmlContent ConvertedChannels::content(std::vector<bool> ticks) const
{
    RdmlContent content;
    content.experiment = experiment;
    content.run = run;
    content.format = format;
    content.channels = channels;
    for (const WellTable& table : tables)
        content.tables.push_back(&table.grid);
    content.ticks = std::move(ticks);
    content.melt = melt ? &*melt : nullptr;
    return content;
}

Expected<ConvertedChannels> convertEveryChannel(const RawText& text, const ProgramList& programs, int program,
                                                std::optional<int> segment, int plateSizeIndex, bool withMelt,
                                                const std::string& fallbackName)
{
    ConvertedChannels converted;
    converted.experiment = experimentName(text);
    if (converted.experiment.empty())
        converted.experiment = fallbackName;
    const auto offered = std::find_if(programs.runs.begin(), programs.runs.end(), [&](const OfferedRun& run) {
        return run.program == program && run.segment == segment;
    });
    converted.run = offered != programs.runs.end() ? offered->name() : std::to_string(program);
    converted.format = plateForIndex(plateSizeIndex);
    converted.channels = programs.columns.channels;
    for (std::size_t channel = 0; channel < converted.channels.size(); ++channel) {
        auto table = convertRun(text, programs, RunChoice{program, segment, static_cast<int>(channel)}, plateSizeIndex);
        if (!table)
            return table.error();
        converted.tables.push_back(std::move(table).value());
    }
    if (withMelt) {
        auto melt = readMeltProgram(text, programs);
        if (!melt)
            return melt.error();
        converted.melt = std::move(melt).value();
    }
    return converted;
}

int reactId(PlateFormat format, int row, int col)
{
    return (row - 1) * plateCols(format) + col;
}

Expected<std::string> rdmlXml(const RdmlContent& content, RdmlSummary* summaryOut)
{
    if (auto ok = checkName(content.experiment, "the experiment name"); !ok)
        return ok.error();
    if (auto ok = checkName(content.run, "the run name"); !ok)
        return ok.error();
    RdmlSummary summary;
    auto planned = makePlan(content, summary);
    if (!planned)
        return planned.error();
    const Plan& plan = *planned;

    // About 45 bytes a point: growing the string instead would copy it a few times.
    std::size_t points = 0;
    for (const React& react : plan.reacts) {
        for (std::size_t channel = 0; channel < content.tables.size(); ++channel)
            points += static_cast<std::size_t>(content.tables[channel]->colCount());
        if (react.melt)
            points += react.melt->temperatures.size() * content.tables.size();
    }
    std::string out;
    out.reserve(4096 + plan.samples.size() * 64 + plan.reacts.size() * 128 + points * 48);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rdml xmlns=\"http://www.rdml.org\" version=\"1.3\">\n";
    const auto element = [&](const char* name, std::string_view id, const char* inner) {
        out += '<';
        out += name;
        out += " id=\"";
        appendEscaped(out, id);
        out += inner[0] ? "\">" : "\"/>";
        out += inner;
        if (inner[0]) {
            out += "</";
            out += name;
            out += '>';
        }
        out += '\n';
    };
    // The schema's order: dye, sample, target, ..., experiment.
    for (const std::string& channel : content.channels)
        element("dye", channel, "");
    for (const std::string& sample : plan.samples)
        element("sample", sample, "<type>unkn</type>");
    for (const std::string& channel : content.channels) {
        out += "<target id=\"";
        appendEscaped(out, channel);
        out += "\"><type>toi</type><dyeId id=\"";
        appendEscaped(out, channel);
        out += "\"/></target>\n";
    }
    out += "<experiment id=\"";
    appendEscaped(out, content.experiment);
    out += "\">\n<run id=\"";
    appendEscaped(out, content.run);
    out += "\">\n<instrument>LightCycler 480</instrument>\n<pcrFormat><rows>";
    appendInt(out, plateRows(content.format));
    out += "</rows><columns>";
    appendInt(out, plateCols(content.format));
    out += "</columns><rowLabel>ABC</rowLabel><columnLabel>123</columnLabel></pcrFormat>\n";

    for (const React& react : plan.reacts) {
        out += "<react id=\"";
        appendInt(out, react.id);
        out += "\">\n<sample id=\"";
        appendEscaped(out, react.sample);
        out += "\"/>\n";
        for (std::size_t channel = 0; channel < content.tables.size(); ++channel) {
            const int row = react.rows[channel];
            const int meltChannel = react.melt ? plan.meltChannel[channel] : -1;
            if (row < 0 && meltChannel < 0)
                continue;
            out += "<data>\n<tar id=\"";
            appendEscaped(out, content.channels[channel]);
            out += "\"/>\n";
            if (row >= 0) {
                const Grid& table = *content.tables[channel];
                for (int col = 2; col < table.colCount(); ++col) {
                    const std::string& cell = table.cell(row, col);
                    if (cell.empty())
                        continue;
                    out += "<adp><cyc>";
                    appendInt(out, col - 1);
                    out += "</cyc><fluor>";
                    if (!appendNumber(out, cell))
                        return notANumber(react, content.channels[channel], "cycle " + std::to_string(col - 1), cell);
                    out += "</fluor></adp>\n";
                    ++summary.amplificationPoints;
                }
            }
            if (meltChannel >= 0) {
                const MeltWell& melt = *react.melt;
                for (std::size_t point = 0; point < melt.temperatures.size(); ++point) {
                    out += "<mdp><tmp>";
                    if (!appendNumber(out, melt.temperatures[point]))
                        return notANumber(react, content.channels[channel], "melt temperature",
                                          melt.temperatures[point]);
                    out += "</tmp><fluor>";
                    const std::string& reading =
                        melt.readings[point * plan.meltChannels + static_cast<std::size_t>(meltChannel)];
                    if (!appendNumber(out, reading))
                        return notANumber(react, content.channels[channel], "melt reading", reading);
                    out += "</fluor></mdp>\n";
                    ++summary.meltPoints;
                }
            }
            out += "</data>\n";
        }
        out += "</react>\n";
    }
    out += "</run>\n</experiment>\n</rdml>\n";
    if (summaryOut)
        *summaryOut = std::move(summary);
    return out;
}

namespace {

void putLe(std::string& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The modification time as a zip entry keeps it: MS-DOS time and date, local time.
std::pair<std::uint16_t, std::uint16_t> dosTimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    const int year = std::clamp(local.tm_year + 1900, 1980, 2107);
    const auto time = static_cast<std::uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    const auto date = static_cast<std::uint16_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    return {time, date};
}

// A zip archive of one deflated entry. libdeflate rather than zlib (through libzip): at its
// fastest level it is three times as fast on this XML and packs it tighter, and the deflate is
// most of an RDML export's time.
Expected<std::string> zipOneEntry(std::string_view name, const std::string& data)
{
    if (data.size() >= 0xFFFFFFFFu)
        return Error{"the RDML document is too large for a zip archive without its 64-bit extension"};
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(kCompressionLevel);
    if (!compressor)
        return Error{"cannot build the RDML archive: out of memory"};
    std::string packed(libdeflate_deflate_compress_bound(compressor, data.size()), '\0');
    const std::size_t packedSize =
        libdeflate_deflate_compress(compressor, data.data(), data.size(), packed.data(), packed.size());
    libdeflate_free_compressor(compressor);
    if (packedSize == 0)
        return Error{"cannot build the RDML archive: the deflate failed"};
    packed.resize(packedSize);
    const std::uint32_t crc = libdeflate_crc32(0, data.data(), data.size());
    const auto [time, date] = dosTimeNow();

    // The fields both headers share: version needed, flags, method, time, date, crc, sizes, name length.
    std::string common;
    putLe(common, 20, 2);
    putLe(common, 0, 2);
    putLe(common, 8, 2); // deflate
    putLe(common, time, 2);
    putLe(common, date, 2);
    putLe(common, crc, 4);
    putLe(common, static_cast<std::uint32_t>(packedSize), 4);
    putLe(common, static_cast<std::uint32_t>(data.size()), 4);
    putLe(common, static_cast<std::uint32_t>(name.size()), 2);

    std::string out;
    out.reserve(packedSize + 2 * (46 + name.size()) + 22);
    putLe(out, 0x04034b50, 4); // local file header
    out += common;
    putLe(out, 0, 2); // extra field length
    out += name;
    out += packed;
    const std::size_t directoryStart = out.size();
    putLe(out, 0x02014b50, 4); // central directory header
    putLe(out, 20, 2);         // made by: MS-DOS attributes, version 2.0
    out += common;
    putLe(out, 0, 2); // extra field length
    putLe(out, 0, 2); // comment length
    putLe(out, 0, 2); // disk number
    putLe(out, 1, 2); // internal attributes: text
    putLe(out, 0, 4); // external attributes
    putLe(out, 0, 4); // offset of the local header
    out += name;
    const std::size_t directorySize = out.size() - directoryStart;
    putLe(out, 0x06054b50, 4); // end of central directory
    putLe(out, 0, 2);
    putLe(out, 0, 2);
    putLe(out, 1, 2);
    putLe(out, 1, 2);
    putLe(out, static_cast<std::uint32_t>(directorySize), 4);
    putLe(out, static_cast<std::uint32_t>(directoryStart), 4);
    putLe(out, 0, 2);
    if (out.size() >= 0xFFFFFFFFu)
        return Error{"the RDML archive is too large for a zip archive without its 64-bit extension"};
    return out;
}

} // namespace

Expected<std::string> rdmlArchive(const RdmlContent& content, RdmlSummary* summary)
{
    auto xml = rdmlXml(content, summary);
    if (!xml)
        return xml.error();
    return zipOneEntry("rdml_data.xml", *xml);
}

Expected<std::string> rdesTable(const RdmlContent& content, RdmlSummary* summaryOut)
{
    RdmlSummary summary;
    auto planned = makePlan(content, summary);
    if (!planned)
        return planned.error();
    const Plan& plan = *planned;

    // One column per cycle that any table names or holds a reading of.
    int columns = 2;
    for (const Grid* table : content.tables)
        columns = std::max(columns, table->colCount());
    std::vector<bool> used(static_cast<std::size_t>(columns), false);
    for (std::size_t channel = 0; channel < content.tables.size(); ++channel) {
        const Grid& table = *content.tables[channel];
        for (int col = 2; col < table.colCount(); ++col)
            if (!table.cell(0, col).empty())
                used[static_cast<std::size_t>(col)] = true;
        for (const React& react : plan.reacts)
            if (react.rows[channel] >= 0)
                for (int col = 2; col < table.colCount(); ++col)
                    if (!table.cell(react.rows[channel], col).empty())
                        used[static_cast<std::size_t>(col)] = true;
    }

    std::string out = "Well\tSample\tSample Type\tTarget\tTarget Type\tDye\tCq";
    for (int col = 2; col < columns; ++col)
        if (used[static_cast<std::size_t>(col)]) {
            out += '\t';
            appendInt(out, col - 1);
        }
    out += '\n';
    for (const React& react : plan.reacts) {
        for (std::size_t channel = 0; channel < content.tables.size(); ++channel) {
            const int row = react.rows[channel];
            if (row < 0)
                continue;
            const std::string& name = content.channels[channel];
            out += react.well + '\t' + react.sample + "\tunkn\t" + name + "\ttoi\t" + name + '\t';
            const Grid& table = *content.tables[channel];
            for (int col = 2; col < columns; ++col) {
                if (!used[static_cast<std::size_t>(col)])
                    continue;
                out += '\t';
                const std::string* cell = col < table.colCount() ? &table.cell(row, col) : nullptr;
                if (!cell || cell->empty())
                    continue;
                if (!appendNumber(out, *cell))
                    return notANumber(react, name, "cycle " + std::to_string(col - 1), *cell);
                ++summary.amplificationPoints;
            }
            out += '\n';
        }
    }
    if (summaryOut)
        *summaryOut = std::move(summary);
    return out;
}

namespace {

// Renames without ever replacing: a file that appeared under the target's name meanwhile stays.
// Everything else is the given file operations'.
class NoReplaceSaveIo : public SaveIo {
public:
    explicit NoReplaceSaveIo(SaveIo& io) : m_io(io) {}
    std::FILE* create(const fs::path& path, std::error_code& error) override { return m_io.create(path, error); }
    std::error_code write(std::FILE* file, std::string_view chunk) override { return m_io.write(file, chunk); }
    std::error_code sync(std::FILE* file) override { return m_io.sync(file); }
    std::error_code rename(const fs::path& from, const fs::path& to) override
    {
#ifndef _WIN32
        // A hard link fails when the name is taken, in one step; the temporary name then goes.
        if (::link(from.c_str(), to.c_str()) == 0) {
            std::error_code ignored;
            fs::remove(from, ignored);
            return {};
        }
        if (errno == EEXIST)
            return std::make_error_code(std::errc::file_exists);
#endif
        // No hard links here: check, then rename.
        if (std::error_code ignored; fs::exists(fs::symlink_status(to, ignored)))
            return std::make_error_code(std::errc::file_exists);
        return m_io.rename(from, to);
    }

private:
    SaveIo& m_io;
};

} // namespace

Status saveNewFile(const fs::path& target, std::string_view bytes, ExistingFile existing, SaveIo& io)
{
    if (existing == ExistingFile::Replace)
        return saveFileAtomically(target, bytes, io);
    std::error_code error;
    if (fs::exists(fs::symlink_status(target, error)))
        return Error{quotedFileName(target) + " already exists"};
    NoReplaceSaveIo noReplace(io);
    auto saved = saveFileAtomically(target, bytes, noReplace);
    if (!saved && fs::exists(fs::symlink_status(target, error)))
        return Error{quotedFileName(target) + " already exists"};
    return saved;
}

} // namespace morvane
