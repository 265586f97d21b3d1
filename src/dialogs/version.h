#pragma once
// The version as the window uses it: compared with and stored in the per-user settings, and
// shown by the new-version notice and the About dialog.

#include "common/version.h"

#include <QLatin1StringView>

namespace morvane {

inline constexpr QLatin1StringView VersionString{kVersion.data(), qsizetype(kVersion.size())};
inline constexpr QLatin1StringView ReleaseDateText{"(December 2014)"};
// Lists the changes of each version.
inline constexpr QLatin1StringView DownloadPageAddress{"https://www.fennwick.org/index.php?main=files&sub=Morvane"};

} // namespace morvane
