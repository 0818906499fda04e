#include "process/relaunch.h"

#include <windows.h>
#include <shellapi.h>

#include "driver/command_line.h"
#include "process/unique_handle.h"

namespace quorila {
namespace {

// GetModuleFileNameW is asked once, into this many units; a longer path counts as unreadable.
constexpr DWORD modulePathCapacity = 32768;

constexpr std::wstring_view commandNotBuilt = L"Yönetici yetkili updater komutu hazırlanamadı.";
constexpr std::wstring_view elevationRefused = L"Yönetici izni alınamadı. Win32 hata: ";
constexpr std::wstring_view relaunched = L"Updater yönetici yetkisiyle yeniden başlatıldı.";

} // namespace

std::wstring ownExecutablePath()
{
    std::vector<wchar_t> buffer(modulePathCapacity);
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), modulePathCapacity);
    if (length == 0 || length >= modulePathCapacity) {
        return {};
    }
    return std::wstring(buffer.data(), length);
}

std::wstring buildRelaunchParameters()
{
    const auto arguments = splitProcessCommandLine();
    if (!arguments) {
        return {};
    }
    return joinRelaunchArguments(*arguments);
}

bool relaunchElevated(UpdateLog& log)
{
    const std::wstring executable = ownExecutablePath();
    const std::wstring parameters = buildRelaunchParameters();
    std::wstring folder(GetCurrentDirectoryW(0, nullptr), L'\0');
    folder.resize(GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()));
    return relaunchElevatedWith(executable, parameters, folder, log);
}

bool relaunchElevatedWith(const std::wstring& executable, const std::wstring& parameters,
                          const std::wstring& workingFolder, UpdateLog& log)
{
    if (executable.empty() || parameters.empty()) {
        logLine(log, commandNotBuilt);
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
        logLine(log, elevationRefused, std::to_wstring(error));
        return false;
    }
    // The elevated copy runs on by itself; its handle (when the shell gives one) is not kept.
    UniqueHandle started(launch.hProcess);
    started.reset();
    logLine(log, relaunched);
    return true;
}

} // namespace quorila
