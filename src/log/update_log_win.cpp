#include "log/update_log.h"

#include <system_error>

#include <windows.h>

#include "fs/file_ops.h"
#include "fs/path_grammar.h"
#include "log/log_format.h"

namespace quorila {

UpdateLog openUpdateLog(const std::wstring& logPath)
{
    std::wstring_view folder = parentPath(logPath);
    if (!folder.empty()) {
        std::error_code ignored;
        createFolders(std::wstring(folder), ignored);
    }

    // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the current end of the file,
    // also when another process (the elevated copy of the updater) appends at the same time.
    UpdateLog log;
    log.file.reset(CreateFileW(logPath.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
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
