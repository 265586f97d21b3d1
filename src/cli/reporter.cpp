#include "cli/reporter.h"

#include "cli/convertcli.h"
#include "common/text.h"

#include <algorithm>
#include <ostream>

namespace morvane {

void Reporter::converting(const std::string& prefix, std::size_t line, std::size_t lines)
{
    if (!m_progress || lines == 0)
        return;
    const int percent = static_cast<int>(std::min(line, lines) * 100 / lines);
    if (percent == m_percent)
        return;
    m_percent = percent;
    m_err << '\r' << prefix << "converting " << percent << '%' << std::flush;
    m_dirty = true;
}

void Reporter::clear()
{
    if (m_dirty)
        m_err << "\r\033[K" << std::flush;
    m_dirty = false;
    m_percent = -1;
}

void Reporter::line(const std::string& text)
{
    clear();
    if (m_progress)
        m_err << text << '\n' << std::flush;
}

void Reporter::lead(const std::string& file, std::size_t line)
{
    clear();
    m_err << kConvertProgram << ": " << pathForMessage(file);
    if (line != 0)
        m_err << ':' << line;
    m_err << ": ";
}

bool Reporter::error(const std::string& file, const Error& error)
{
    lead(file, error.line);
    m_err << error.message << '\n' << std::flush;
    return false;
}

void Reporter::warning(const std::string& file, const std::string& message, std::size_t line)
{
    lead(file, line);
    m_err << "warning: " << message << '\n' << std::flush;
}

void Reporter::note(const std::string& name, std::string_view text)
{
    clear();
    m_err << kConvertProgram << ": " << name << ": " << text << '\n' << std::flush;
}

} // namespace morvane
