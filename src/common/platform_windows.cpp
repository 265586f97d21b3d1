#include "common/platform.h"

#include <io.h>
#include <windows.h>

#include <cstdlib>
#include <shellapi.h>
#include <string_view>

namespace morvane::platform {

std::tm localTime(std::time_t when)
{
    std::tm local{};
    localtime_s(&local, &when);
    return local;
}

std::tm utcTime(std::time_t when)
{
    std::tm utc{};
    gmtime_s(&utc, &when);
    return utc;
}

namespace {

std::string utf8(std::wstring_view wide)
{
    if (wide.empty())
        return {};
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), size, nullptr, nullptr);
    return bytes;
}

} // namespace

std::vector<std::string> arguments(int argc, char** argv)
{
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) // no memory for it: the ANSI form, which keeps at least the ASCII names
        return std::vector<std::string>(argv + 1, argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i)
        args.push_back(utf8(wide[i]));
    ::LocalFree(wide);
    return args;
}

std::optional<std::uint64_t> fileIdentity(const std::filesystem::path& path)
{
    // No access asked for, only the attributes: an open workbook or owner file can still be looked at.
    HANDLE file = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const BOOL ok = ::GetFileInformationByHandle(file, &info);
    ::CloseHandle(file);
    if (!ok)
        return std::nullopt;
    // The index is unique on its volume; the volume's serial number is mixed into the high part,
    // which NTFS uses for a sequence number that changes when the index is reused.
    const std::uint64_t index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return index ^ (std::uint64_t{info.dwVolumeSerialNumber} << 32);
}

bool isTerminal(std::FILE* stream)
{
    return _isatty(_fileno(stream)) != 0;
}

namespace {

// "de_DE.UTF-8" as Windows names it: "de-DE".
std::wstring windowsLocaleName(std::string_view posix)
{
    posix = posix.substr(0, posix.find_first_of(".@"));
    std::wstring name(posix.begin(), posix.end());
    for (wchar_t& c : name)
        if (c == L'_')
            c = L'-';
    return name;
}

std::optional<char> decimalPointOf(const wchar_t* locale)
{
    wchar_t point[8] = {};
    const int length = ::GetLocaleInfoEx(locale, LOCALE_SDECIMAL, point, 8);
    // The length counts the closing zero; a point beyond ASCII has no single byte.
    if (length != 2 || point[0] > 0x7F)
        return std::nullopt;
    return static_cast<char>(point[0]);
}

} // namespace

std::optional<char> userDecimalPoint()
{
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* value = std::getenv(variable);
        if (!value || !*value)
            continue;
        const std::string_view name(value);
        if (name == "C" || name == "POSIX" || name.starts_with("C."))
            return '.';
        const std::wstring windows = windowsLocaleName(name);
        if (windows.empty() || ::LocaleNameToLCID(windows.c_str(), 0) == 0)
            return std::nullopt; // a locale this system does not know
        return decimalPointOf(windows.c_str());
    }
    return decimalPointOf(LOCALE_NAME_USER_DEFAULT);
}

} // namespace morvane::platform
