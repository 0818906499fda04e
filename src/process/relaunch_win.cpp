#include "process/relaunch.h"

#include <cwchar>
#include <initializer_list>

#include <windows.h>
#include <shellapi.h>
#include <winnetwk.h>

#include "base/command_line.h"
#include "base/growing_text.h"
#include "base/unique_handle.h"
#include "fs/path_grammar.h"
#include "process/own_executable.h"

namespace quorila {
namespace {

constexpr std::wstring_view commandNotBuiltLine = L"Yönetici yetkili updater komutu hazırlanamadı.";
constexpr std::wstring_view elevationRefusedLine = L"Yönetici izni alınamadı. Win32 hata: ";
constexpr std::wstring_view relaunchedLine = L"Updater yönetici yetkisiyle yeniden başlatıldı.";
constexpr std::wstring_view endUnknownLine = L"Yönetici yetkili updater'ın çıkış kodu okunamadı. Win32 hata: ";
constexpr std::wstring_view notSeenLine = L"Sürücü yönetici oturumunda görünmeyebilir; yol aktarılamadı: ";

constexpr std::wstring_view literalPrefix = L"\\\\?\\";
constexpr std::wstring_view literalUncPrefix = L"\\\\?\\UNC\\";
constexpr std::wstring_view objectPrefix = L"\\??\\";     // a substituted drive's target: "\??\C:\folder"
constexpr std::wstring_view devicePrefix = L"\\Device\\"; // a volume's drive: "\Device\HarddiskVolume3"

void freeModule(void* module) noexcept
{
    FreeLibrary(static_cast<HMODULE>(module));
}
using UniqueModule = UniqueAny<HMODULE, freeModule, 0>;

// "X:\..." or "X:/...".
bool isOnDrive(std::wstring_view path)
{
    return path.size() >= 3 && isDriveDesignator(path.substr(0, 2)) && isSeparator(path[2]);
}

// "\\server..." and no device prefix.
bool isUnc(std::wstring_view path)
{
    const std::wstring_view root = rootName(path);
    return root.size() > 2 && isSeparator(root[0]) && isSeparator(root[1]) && !isDevicePrefix(root);
}

// A volume or other device of the machine itself, "\Device\Name": the same drive in every session.
bool isMachineDrive(const detail::DriveAnswers& drive)
{
    const std::wstring_view target = drive.dosDevice ? std::wstring_view(*drive.dosDevice) : std::wstring_view();
    return !drive.remote && !drive.connection && target.starts_with(devicePrefix) && target.size() > devicePrefix.size()
        && target.find(L'\\', devicePrefix.size()) == std::wstring_view::npos;
}

// What a substituted or network drive stands for, as a Win32 path; nothing for any other drive.
std::optional<std::wstring> standsFor(const detail::DriveAnswers& drive)
{
    if (drive.dosDevice && drive.dosDevice->starts_with(objectPrefix)) {
        const std::wstring_view target = std::wstring_view(*drive.dosDevice).substr(objectPrefix.size());
        const bool unc = target.size() >= 4 && equalsIgnoringAsciiCase(target.substr(0, 3), L"UNC")
            && isSeparator(target[3]);
        std::wstring path = unc ? L"\\\\" + std::wstring(target.substr(4)) : std::wstring(target);
        const bool drivePath = path.size() >= 2 && isDriveDesignator(path.substr(0, 2))
            && (path.size() == 2 || isSeparator(path[2]));
        return isUnc(path) || drivePath ? std::optional(std::move(path)) : std::nullopt;
    }
    if (drive.connection && isUnc(*drive.connection)) {
        return drive.connection;
    }
    return std::nullopt;
}

// WNetGetConnectionW's name for a network drive ("X:"); nothing for any other.
std::optional<std::wstring> networkName(const std::wstring& drive)
{
    // Loaded when asked, from the system folder only: the updater imports no network library.
    const UniqueModule mpr(LoadLibraryExW(L"mpr.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    const auto getConnection = mpr ? reinterpret_cast<decltype(&WNetGetConnectionW)>(reinterpret_cast<void (*)()>(
                                         GetProcAddress(mpr.get(), "WNetGetConnectionW")))
                                   : nullptr;
    if (getConnection == nullptr) {
        return std::nullopt;
    }
    return growingText([&](wchar_t* buffer, DWORD capacity) -> DWORD {
        DWORD length = capacity;
        const DWORD result = getConnection(drive.c_str(), buffer, &length);
        if (result == NO_ERROR) {
            return static_cast<DWORD>(std::wcslen(buffer));
        }
        return result == ERROR_MORE_DATA ? (length > capacity ? length : capacity) : 0;
    });
}

} // namespace

std::optional<int> relaunchElevated(const UpdateOptions& options, UpdateLog& log)
{
    std::error_code unread;
    const std::wstring self = ownExecutablePath(unread);
    std::wstring refused;
    const std::optional<UpdateOptions> seen = detail::optionsSeenElevated(options, detail::askDrive, refused);
    const std::optional<std::wstring> selfSeen = seen ? detail::pathSeenElevated(self, detail::askDrive) : std::nullopt;
    if (!selfSeen) {
        logLine(log, notSeenLine, seen ? self : refused);
        return std::nullopt;
    }
    // Its own path unread: the start below refuses an empty program with its line.
    return detail::relaunchElevatedWith(unread ? std::wstring() : *selfSeen, joinRelaunchArguments(optionTokens(*seen)),
                                        log);
}

std::optional<int> detail::relaunchElevatedWith(const std::wstring& executable, const std::wstring& parameters,
                                                UpdateLog& log)
{
    if (executable.empty() || parameters.empty()) {
        logLine(log, commandNotBuiltLine);
        return std::nullopt;
    }

    SHELLEXECUTEINFOW launch{};
    launch.cbSize = sizeof(launch);
    launch.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    launch.lpVerb = L"runas";
    launch.lpFile = executable.c_str();
    launch.lpParameters = parameters.c_str();
    launch.nShow = SW_SHOWNORMAL;

    if (!ShellExecuteExW(&launch)) {
        const DWORD error = GetLastError();
        logLine(log, elevationRefusedLine, std::to_wstring(error));
        return std::nullopt;
    }
    const UniqueHandle started(launch.hProcess);
    logLine(log, relaunchedLine);
    // The elevated copy does the update; its exit code is the answer to whoever started this one.
    // Without a process to wait on (the shell may hand none) its end cannot be known either.
    DWORD code = 0;
    if (!started || WaitForSingleObject(started.get(), INFINITE) != WAIT_OBJECT_0
        || !GetExitCodeProcess(started.get(), &code)) {
        const DWORD error = started ? GetLastError() : ERROR_INVALID_HANDLE;
        logLine(log, endUnknownLine, std::to_wstring(error));
        return std::nullopt;
    }
    return static_cast<int>(code);
}

detail::DriveAnswers detail::askDrive(wchar_t letter)
{
    const std::wstring drive{letter, L':'};
    DriveAnswers answers;
    // The first target is the drive's current one; a drive substituted again lists the earlier after it.
    const auto targets = growingText([&](wchar_t* buffer, DWORD capacity) -> DWORD {
        const DWORD stored = QueryDosDeviceW(drive.c_str(), buffer, capacity);
        return stored != 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER ? stored : capacity;
    });
    if (targets) {
        answers.dosDevice = std::wstring(targets->c_str());
    }
    answers.connection = networkName(drive);
    answers.remote = GetDriveTypeW((drive + L"\\").c_str()) == DRIVE_REMOTE;
    return answers;
}

std::optional<std::wstring> detail::pathSeenElevated(std::wstring_view path, AskDrive ask)
{
    const bool literal = path.starts_with(literalPrefix);
    std::wstring seen(literal ? path.substr(literalPrefix.size()) : path);
    // One drive replaced by what it stands for at a time; more drives than there are letters go
    // round in a circle.
    for (int asked = 0; isOnDrive(seen); ++asked) {
        const DriveAnswers drive = ask(static_cast<wchar_t>(seen[0] & ~0x20));
        if (isMachineDrive(drive)) {
            break;
        }
        std::optional<std::wstring> target = standsFor(drive);
        if (!target || asked == 26) {
            return std::nullopt;
        }
        while (!target->empty() && isSeparator(target->back())) {
            target->pop_back();
        }
        seen = *target + seen.substr(2);
    }
    if (!literal) {
        return seen;
    }
    return isUnc(seen) ? std::wstring(literalUncPrefix) + seen.substr(2) : std::wstring(literalPrefix) + seen;
}

std::optional<UpdateOptions> detail::optionsSeenElevated(UpdateOptions options, AskDrive ask, std::wstring& refused)
{
    for (std::wstring* path : {&options.releaseFolder, &options.installFolder, &options.backupFolder, &options.logPath}) {
        std::optional<std::wstring> seen = pathSeenElevated(*path, ask);
        if (!seen) {
            refused = *path;
            return std::nullopt;
        }
        *path = std::move(*seen);
    }
    return options;
}

} // namespace quorila
