#include "process/relaunch.h"

#include <windows.h>
#include <shellapi.h>

#include "base/command_line.h"
#include "base/unique_handle.h"
#include "process/own_executable.h"

namespace quorila {
namespace {

constexpr std::wstring_view commandNotBuiltLine = L"Yönetici yetkili updater komutu hazırlanamadı.";
constexpr std::wstring_view elevationRefusedLine = L"Yönetici izni alınamadı. Win32 hata: ";
constexpr std::wstring_view relaunchedLine = L"Updater yönetici yetkisiyle yeniden başlatıldı.";

} // namespace

std::optional<int> relaunchElevated(const UpdateOptions& options, UpdateLog& log)
{
    // Its own path unread: the start below refuses an empty program with its line.
    std::error_code unread;
    const std::wstring self = ownExecutablePath(unread);
    return detail::relaunchElevatedWith(unread ? std::wstring() : self, joinRelaunchArguments(optionTokens(options)),
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
    DWORD code = 0;
    if (!started || WaitForSingleObject(started.get(), INFINITE) != WAIT_OBJECT_0
        || !GetExitCodeProcess(started.get(), &code)) {
        return std::nullopt;
    }
    return static_cast<int>(code);
}

} // namespace quorila
