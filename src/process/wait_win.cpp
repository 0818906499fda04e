#include "process/wait.h"

#include <windows.h>

#include "process/unique_handle.h"

namespace quorila {
namespace {

// The one wait for the application; the 60 in the time-out line is this same limit.
constexpr DWORD kExitWaitMilliseconds = 60000;

constexpr std::wstring_view kAlreadyGone = L"Ana Quorila süreci zaten kapalı veya erişilemiyor; devam ediliyor.";
constexpr std::wstring_view kWaiting = L"Quorila sürecinin kapanması bekleniyor...";
constexpr std::wstring_view kExited = L"Quorila süreci kapandı.";
constexpr std::wstring_view kTimedOut = L"Quorila 60 saniye içinde kapanmadı.";

} // namespace

bool waitForApplicationExit(std::uint32_t processId, UpdateLog& log)
{
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process) {
        // Gone already, or not ours to wait for: either way it no longer stands in the way.
        logLine(log, kAlreadyGone);
        return true;
    }
    logLine(log, kWaiting);
    const DWORD waitResult = WaitForSingleObject(process.get(), kExitWaitMilliseconds);
    process.reset();
    if (waitResult == WAIT_OBJECT_0) {
        logLine(log, kExited);
        return true;
    }
    logLine(log, kTimedOut);
    return false;
}

} // namespace quorila
