#include "process/restart.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/unique_handle.h"
#include "fs/path_grammar.h"

namespace quorila {
namespace {

constexpr std::wstring_view restartedLine = L"Quorila yeniden başlatıldı.";
constexpr std::wstring_view restartFailedLine = L"Quorila yeniden başlatılamadı. Win32 hata: ";

} // namespace

bool restartApplication(const std::wstring& executablePath, UpdateLog& log)
{
    // The quoted path alone: no arguments, and a path with blanks stays one element.
    // CreateProcessW may write into the command line, so it gets a buffer of its own.
    const std::wstring quoted = L"\"" + executablePath + L"\"";
    std::vector<wchar_t> commandLine(quoted.begin(), quoted.end());
    commandLine.push_back(L'\0');

    const std::wstring workingFolder(parentPath(executablePath));

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    UniqueProcessInformation<PROCESS_INFORMATION> started; // the application runs on by itself: nothing is kept

    const BOOL created = CreateProcessW(executablePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, workingFolder.c_str(), &startup, &started);
    if (!created) {
        const DWORD error = GetLastError();
        logLine(log, restartFailedLine, std::to_wstring(error));
        return false;
    }

    logLine(log, restartedLine);
    return true;
}

} // namespace quorila
