#include "log/update_log.h"

#include <system_error>

#include <windows.h>

#include "fs/held.h"
#include "fs/path_grammar.h"
#include "log/log_format.h"

namespace quorila {

UpdateLog openUpdateLog(const std::wstring& logPath)
{
    // A link met on the way stops the walk before anything is created below it; the file is
    // asked for as itself before it is opened (a dangling link would otherwise be created).
    std::error_code error;
    const Held folder = openFolderLevels(std::wstring(parentPath(logPath)), Levels::refuseLinks, error);
    const std::wstring_view name = fileName(logPath);
    ListedEntry there;
    if (!error && describeChild(folder, name, there, error) && there.isLink()) {
        error = notItself();
    }
    UpdateLog log;
    if (!error || isNotFound(error)) {
        log.file = std::move(openAppending(folder, name, error).handle);
    }
    log.throughLink = error == notItself();
    log.failed = !log.file.valid();
    return log;
}

void logLine(UpdateLog& log, std::wstring_view message)
{
    if (log.failed) {
        return;
    }
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const LocalTime time{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
    const std::string line = formatLogLine(time, message);

    // Unbuffered: once WriteFile returns, the line is the operating system's.
    DWORD written = 0;
    const BOOL ok = WriteFile(log.file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    if (!ok || written != line.size()) {
        log.failed = true;
    }
}

void closeUpdateLog(UpdateLog& log)
{
    log.file.reset();
    log.failed = true;
}

} // namespace quorila
