#include "export/atomicsave_platform.h"

#include <io.h>

#include <random>

namespace morvane::detail {

namespace fs = std::filesystem;

std::FILE* createNewFile(const fs::path& path)
{
    // "x": fail if the file exists, so a name picked by another process is never shared.
    return _wfopen(path.c_str(), L"wbx");
}

bool syncToDisk(std::FILE* file)
{
    return _commit(_fileno(file)) == 0;
}

std::size_t nameLimit(const fs::path&)
{
    return 255;
}

// Temporary files are not locked here, so none can be told abandoned: they stay.
void removeAbandonedTemporaries(const fs::path&) {}

TemporaryLock::TemporaryLock(std::FILE*) {}

TemporaryLock::~TemporaryLock() = default;

// No folder is synced here: the rename is left to the file system.
void syncFolder(const fs::path&) {}

std::uint64_t randomSeed()
{
    return std::random_device{}();
}

// The read-only mark is what tells here.
Status checkWriteAccess(const fs::path&, bool)
{
    return success();
}

std::optional<std::error_code> renameWithoutReplacing(const fs::path&, const fs::path&)
{
    return std::nullopt;
}

} // namespace morvane::detail
