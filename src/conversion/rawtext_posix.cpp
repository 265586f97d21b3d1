#include "conversion/rawtext.h"

#include "common/text.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane {

namespace {

// Mapped files that another program may shorten while they are read. Reading a page the file
// no longer has raises SIGBUS, which would end the process; the handler puts zero pages in
// place of the rest of the file instead and marks the file as cut, and whoever uses the text
// asks unchanged() before saving anything made from it.
struct GuardedRange {
    std::atomic<bool> taken{false};
    std::atomic<std::uintptr_t> start{0}; // 0 while the range is not (or no longer) watched
    std::atomic<std::size_t> length{0};   // whole pages
    std::atomic<bool> cut{false};
};
constexpr int kGuardedRanges = 8;
GuardedRange g_ranges[kGuardedRanges];
struct sigaction g_previousBusHandler {};
std::uintptr_t g_pageSize = 4096;

void onBusError(int signal, siginfo_t* info, void* context)
{
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (GuardedRange& range : g_ranges) {
        const std::uintptr_t start = range.start.load(std::memory_order_acquire);
        const std::size_t length = range.length.load(std::memory_order_acquire);
        if (start == 0 || address - start >= length)
            continue;
        const std::uintptr_t page = address & ~(g_pageSize - 1);
        // NOLINTNEXTLINE(performance-no-int-to-ptr): the page the fault names
        void* zeros = mmap(reinterpret_cast<void*>(page), start + length - page, PROT_READ,
                           MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros != MAP_FAILED) {
            range.cut.store(true, std::memory_order_release);
            return; // the read is made again, and finds zeros
        }
        break;
    }
    // Not a page of a watched file: what was set before this handler, or what the system does.
    const struct sigaction& previous = g_previousBusHandler;
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        if ((previous.sa_flags & SA_SIGINFO) != 0)
            previous.sa_sigaction(signal, info, context);
        else
            previous.sa_handler(signal);
        return;
    }
    const bool sent = info->si_code <= 0; // by kill or raise, not by a fault
    if (sent && previous.sa_handler == SIG_IGN)
        return;
    // Blocked while this handler runs, the signal raised again ends the process on its return.
    std::signal(SIGBUS, SIG_DFL);
    std::raise(SIGBUS);
}

bool installBusHandler()
{
    static const bool installed = [] {
        g_pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        return sigaction(SIGBUS, &action, &g_previousBusHandler) == 0;
    }();
    return installed;
}

} // namespace

class RawText::MappedFile {
public:
    // Null when no range is free to watch: the file is then read as usual.
    static std::unique_ptr<MappedFile, StopWatching> watch(int fd, const struct stat& status, const char* bytes,
                                                           std::size_t size)
    {
        if (!installBusHandler())
            return nullptr;
        for (int i = 0; i < kGuardedRanges; ++i) {
            bool expected = false;
            if (!g_ranges[i].taken.compare_exchange_strong(expected, true))
                continue;
            GuardedRange& range = g_ranges[i];
            range.cut.store(false);
            range.length.store((size + g_pageSize - 1) & ~(g_pageSize - 1));
            range.start.store(reinterpret_cast<std::uintptr_t>(bytes), std::memory_order_release);
            return std::unique_ptr<MappedFile, StopWatching>(new MappedFile(fd, status, range));
        }
        return nullptr;
    }

    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile()
    {
        m_range.start.store(0, std::memory_order_release);
        m_range.taken.store(false, std::memory_order_release);
        ::close(m_fd);
    }

    // Not cut, and neither its size nor the time of its last write changed since it was opened
    // (a new name or new permissions change nothing read).
    bool unchanged() const
    {
        if (m_range.cut.load(std::memory_order_acquire))
            return false;
        struct stat now {};
        return ::fstat(m_fd, &now) == 0 && now.st_size == m_status.st_size &&
               now.st_mtim.tv_sec == m_status.st_mtim.tv_sec && now.st_mtim.tv_nsec == m_status.st_mtim.tv_nsec;
    }

private:
    MappedFile(int fd, const struct stat& status, GuardedRange& range) : m_fd(fd), m_status(status), m_range(range) {}

    int m_fd; // kept open to ask the file's state later
    struct stat m_status;
    GuardedRange& m_range;
};

void RawText::StopWatching::operator()(MappedFile* file) const
{
    delete file;
}

bool RawText::unchanged() const
{
    return !m_changedBeforeCopy && (!m_mapped || m_mapped->unchanged());
}

Expected<RawText> RawText::readFile(const std::filesystem::path& path, FileAccess access)
{
    const auto cannotRead = [&] { return Error{"cannot read '" + pathForMessage(path) + "'"}; };
    // The file is read once, straight into memory of its size, or mapped.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Error{"cannot open '" + pathForMessage(path) + "': " + std::strerror(errno)};
    struct Closer {
        int& fd;
        ~Closer()
        {
            if (fd >= 0)
                ::close(fd);
        }
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
    if (access == FileAccess::Map) {
        // The pages are all mapped at once; one the system cannot read is an error here, and
        // the file is then read the usual way, which says what is wrong.
        void* pages = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (pages != MAP_FAILED) {
            text.m_read = ReadBuffer(static_cast<char*>(pages), Unmap{size, size});
            text.m_mapped = MappedFile::watch(fd, st, text.m_read.get(), static_cast<std::size_t>(size));
            if (text.m_mapped && madvise(pages, static_cast<std::size_t>(size), MADV_POPULATE_READ) != 0 &&
                errno != EINVAL)
                text.m_mapped.reset();
            if (text.m_mapped)
                fd = -1; // watched from now on
            else
                text.m_read.reset();
        }
    }
    if (!text.m_read) {
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
    }
    const std::string_view bytes(text.m_read.get(), static_cast<std::size_t>(size));
    // Text that needs converting first (UTF-16) goes the way of any bytes.
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))
        return fromBytes(std::string(bytes), pathForMessage(path));
    const std::size_t start = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    return cut(std::move(text), start, pathForMessage(path));
}

} // namespace morvane
