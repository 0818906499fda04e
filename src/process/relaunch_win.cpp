#include "process/relaunch.h"

#include <windows.h>
#include <shellapi.h>

#include "base/command_line.h"
#include "base/growing_text.h"
#include "base/unique_handle.h"

namespace quorila {
namespace {

constexpr std::wstring_view commandNotBuiltLine = L"Yönetici yetkili updater komutu hazırlanamadı.";
constexpr std::wstring_view elevationRefusedLine = L"Yönetici izni alınamadı. Win32 hata: ";
constexpr std::wstring_view relaunchedLine = L"Updater yönetici yetkisiyle yeniden başlatıldı.";

} // namespace

std::wstring ownExecutablePath()
{
    return growingText([](wchar_t* buffer, DWORD capacity) {
        return GetModuleFileNameW(nullptr, buffer, capacity);
    }).value_or(std::wstring());
}

bool relaunchElevated(const UpdateOptions& options, UpdateLog& log)
{
    const std::wstring folder = growingText([](wchar_t* buffer, DWORD capacity) {
        return GetCurrentDirectoryW(capacity, buffer);
    }).value_or(std::wstring());
    return detail::relaunchElevatedWith(ownExecutablePath(), joinRelaunchArguments(optionTokens(options)), folder, log);
}

bool detail::relaunchElevatedWith(const std::wstring& executable, const std::wstring& parameters,
                          const std::wstring& workingFolder, UpdateLog& log)
{
    if (executable.empty() || parameters.empty()) {
        logLine(log, commandNotBuiltLine);
        return false;
    }

    SHELLEXECUTEINFOW launch{};
    launch.cbSize = sizeof(launch);
    launch.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    launch.lpVerb = L"runas";
    launch.lpFile = executable.c_str();
    launch.lpParameters = parameters.c_str();
    launch.lpDirectory = workingFolder.empty() ? nullptr : workingFolder.c_str();
    launch.nShow = SW_SHOWNORMAL;

    if (!ShellExecuteExW(&launch)) {
        const DWORD error = GetLastError();
        logLine(log, elevationRefusedLine, std::to_wstring(error));
        return false;
    }
    // The elevated copy runs on by itself; its handle (when the shell gives one) is not kept.
    const UniqueHandle started(launch.hProcess);
    logLine(log, relaunchedLine);
    return true;
}

} // namespace quorila
