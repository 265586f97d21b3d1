#include "conversion/rawtext.h"

#include "common/text.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace morvane {

// Files are always read into memory here.
class RawText::MappedFile {};

void RawText::StopWatching::operator()(MappedFile* file) const
{
    delete file;
}

bool RawText::unchanged() const
{
    return !m_changedBeforeCopy;
}

Expected<RawText> RawText::readFile(const std::filesystem::path& path, FileAccess /*access*/)
{
    const auto cannotRead = [&] { return Error{"cannot read '" + pathForMessage(path) + "'"}; };
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Error{"cannot open '" + pathForMessage(path) + "': " + std::strerror(errno)};
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0)
        return cannotRead();
    if (static_cast<std::uint64_t>(size) > maxBytes)
        return Error{"'" + pathForMessage(path) + "' is larger than 512 MiB and cannot be a raw data export"};
    in.seekg(0, std::ios::beg);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (size > 0 && !in.read(bytes.data(), size))
        return cannotRead();
    return fromBytes(std::move(bytes), pathForMessage(path));
}

} // namespace morvane
