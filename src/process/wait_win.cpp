#include "process/wait.h"

#include <windows.h>

#include "base/unique_handle.h"

namespace quorila {
namespace {

// The one wait for the application; the 60 in the time-out line is this same limit.
constexpr DWORD exitWaitMilliseconds = 60000;

constexpr std::wstring_view alreadyGoneLine = L"Ana Quorila süreci zaten kapalı veya erişilemiyor; devam ediliyor.";
constexpr std::wstring_view waitingLine = L"Quorila sürecinin kapanması bekleniyor...";
constexpr std::wstring_view exitedLine = L"Quorila süreci kapandı.";
constexpr std::wstring_view timedOutLine = L"Quorila 60 saniye içinde kapanmadı.";

} // namespace

bool waitForApplicationExit(std::uint32_t processId, UpdateLog& log)
{
    const UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process) {
        // Gone already, or not ours to wait for: either way it no longer stands in the way.
        logLine(log, alreadyGoneLine);
        return true;
    }
    logLine(log, waitingLine);
    const DWORD waitResult = WaitForSingleObject(process.get(), exitWaitMilliseconds);
    if (waitResult == WAIT_OBJECT_0) {
        logLine(log, exitedLine);
        return true;
    }
    logLine(log, timedOutLine);
    return false;
}

} // namespace quorila
