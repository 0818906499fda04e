#include "process/wait.h"

#include <windows.h>

#include "process/unique_handle.h"

namespace quorila {
namespace {

// The one wait for the application; the 60 in the time-out line is this same limit.
constexpr DWORD exitWaitMilliseconds = 60000;

constexpr std::wstring_view alreadyGone = L"Ana Quorila süreci zaten kapalı veya erişilemiyor; devam ediliyor.";
constexpr std::wstring_view waiting = L"Quorila sürecinin kapanması bekleniyor...";
constexpr std::wstring_view exited = L"Quorila süreci kapandı.";
constexpr std::wstring_view timedOut = L"Quorila 60 saniye içinde kapanmadı.";

} // namespace

bool waitForApplicationExit(std::uint32_t processId, UpdateLog& log)
{
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process) {
        // Gone already, or not ours to wait for: either way it no longer stands in the way.
        logLine(log, alreadyGone);
        return true;
    }
    logLine(log, waiting);
    const DWORD waitResult = WaitForSingleObject(process.get(), exitWaitMilliseconds);
    process.reset();
    if (waitResult == WAIT_OBJECT_0) {
        logLine(log, exited);
        return true;
    }
    logLine(log, timedOut);
    return false;
}

} // namespace quorila
