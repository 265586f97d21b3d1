#pragma once
// What morvane-convert says on standard error: its errors and warnings, each naming the file (and
// line) it concerns, and on a terminal the progress of a conversion.

#include "common/expected.h"

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

namespace morvane {

class Reporter {
public:
    Reporter(std::ostream& err, bool progress) : m_err(err), m_progress(progress) {}

    // A percentage while a file converts, written over itself.
    void converting(const std::string& prefix, std::size_t line, std::size_t lines);
    // Takes the percentage off the line; before anything else is written to the stream.
    void clear();
    // A line of progress: what a file gave and where it went.
    void line(const std::string& text);

    // "morvane-convert: FILE[:LINE]: message". False, for the caller to return.
    bool error(const std::string& file, const Error& error);
    void warning(const std::string& file, const std::string& message, std::size_t line = 0);
    // "morvane-convert: NAME: text", for a note such as a wait for another writer.
    void note(const std::string& name, std::string_view text);

private:
    void lead(const std::string& file, std::size_t line);

    std::ostream& m_err;
    bool m_progress;
    bool m_dirty = false;
    int m_percent = -1;
};

} // namespace morvane
