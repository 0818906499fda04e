#include "process/wait.h"

#include <windows.h>
#include <tlhelp32.h>

#include <functional>

#include "base/unique_handle.h"

namespace quorila {
namespace {

// The one wait for the application; the 60 in the time-out line is this same limit.
constexpr DWORD exitWaitMilliseconds = 60000;
// How often a process that cannot be waited on is asked whether it still runs.
constexpr DWORD pollMilliseconds = 50;

constexpr std::wstring_view alreadyGoneLine = L"Ana Quorila süreci zaten kapalı veya erişilemiyor; devam ediliyor.";
constexpr std::wstring_view waitingLine = L"Quorila sürecinin kapanması bekleniyor...";
constexpr std::wstring_view exitedLine = L"Quorila süreci kapandı.";
constexpr std::wstring_view timedOutLine = L"Quorila 60 saniye içinde kapanmadı.";

// True while the process list holds the id; also true when the list cannot be read.
bool isListed(std::uint32_t processId)
{
    const UniqueFile list(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!list) {
        return true;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(list.get(), &entry); more; more = Process32NextW(list.get(), &entry)) {
        if (entry.th32ProcessID == processId) {
            return true;
        }
    }
    return false;
}

// Asks `running` every poll interval until it says no or the limit has passed; true when it ended.
bool pollUntilEnded(const std::function<bool()>& running)
{
    const ULONGLONG deadline = GetTickCount64() + exitWaitMilliseconds;
    while (running()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(pollMilliseconds);
    }
    return true;
}

} // namespace

bool detail::waitWithFewerRights(std::uint32_t processId)
{
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        return pollUntilEnded([processId] { return isListed(processId); });
    }
    return pollUntilEnded([&process] {
        DWORD code = 0;
        return !GetExitCodeProcess(process.get(), &code) || code == STILL_ACTIVE;
    });
}

bool waitForApplicationExit(std::uint32_t processId, UpdateLog& log)
{
    const UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process && GetLastError() == ERROR_INVALID_PARAMETER) {
        // No process has the id: the application has ended.
        logLine(log, alreadyGoneLine);
        return true;
    }
    logLine(log, waitingLine);
    const bool ended = process ? WaitForSingleObject(process.get(), exitWaitMilliseconds) == WAIT_OBJECT_0
                               : detail::waitWithFewerRights(processId);
    if (ended) {
        logLine(log, exitedLine);
        return true;
    }
    logLine(log, timedOutLine);
    return false;
}

} // namespace quorila
