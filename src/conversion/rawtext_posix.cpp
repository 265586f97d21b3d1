#include "conversion/rawtext.h"

#include "common/text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane {

Expected<RawText> RawText::readFile(const std::filesystem::path& path)
{
    const auto cannotRead = [&] { return Error{"cannot read '" + pathForMessage(path) + "'"}; };
    // The file is read once, straight into memory of its size.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Error{"cannot open '" + pathForMessage(path) + "': " + std::strerror(errno)};
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size < 0)
        return cannotRead();
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size > maxBytes)
        return Error{"'" + pathForMessage(path) + "' is larger than 512 MiB and cannot be a raw data export"};
    if (size == 0)
        return fromBytes(std::string(), pathForMessage(path));
    RawText text;
    text.m_read = allocateReadBuffer(static_cast<std::size_t>(size));
    if (!text.m_read)
        return Error{.message = "'" + pathForMessage(path) + "' does not fit in memory", .kind = ErrorKind::Io};
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::read(fd, text.m_read.get() + done, static_cast<std::size_t>(size) - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return cannotRead();
        done += static_cast<std::size_t>(n);
    }
    const std::string_view bytes(text.m_read.get(), static_cast<std::size_t>(size));
    // Text that needs converting first (UTF-16) goes the way of any bytes.
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))
        return fromBytes(std::string(bytes), pathForMessage(path));
    const std::size_t start = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    return cut(std::move(text), start, pathForMessage(path));
}

} // namespace morvane
