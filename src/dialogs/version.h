#pragma once
// The program's version, defined once: compared with and stored in the per-user settings, and
// shown by the new-version notice and the About dialog. The Windows version resource
// (app/morvane.rc) carries the same number as 2014.1.0.0.

#include <QLatin1StringView>

namespace morvane {

inline constexpr QLatin1StringView VersionString{"2014.1"};
inline constexpr QLatin1StringView ReleaseDateText{"(December 2014)"};
// Lists the changes of each version.
inline constexpr QLatin1StringView DownloadPageAddress{"https://www.fennwick.org/index.php?main=files&sub=Morvane"};

} // namespace morvane
