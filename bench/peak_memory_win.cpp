// Runs one command line and reports how long it took and how much memory it needed at most.
//
//   peak_memory.exe COMMAND LINE...
//
// Everything after this program's own name is the child's command line, passed to CreateProcessW
// unchanged (the child's program is found as CreateProcessW finds it). Prints one line:
//   exit=<child's exit code> ms=<start to end, milliseconds> peak_working_set=<bytes>
// The time runs from just before CreateProcessW to the moment the wait for the child returns.
// The peak working set is PeakWorkingSetSize of the child. Under Wine that figure is only
// available while the child still exists, so it is sampled every 20 ms during the run and once
// more after the end, and the largest value is printed. Exits 1 when the child cannot be started.

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "base/unique_handle.h"

namespace {

// The command line after this program's own name, as CommandLineToArgvW reads that first token
// (a quoted name ends at the next quote, an unquoted one at the first blank or tab).
const wchar_t* childCommandLine()
{
    const wchar_t* text = GetCommandLineW();
    if (*text == L'"') {
        ++text;
        while (*text != L'\0' && *text != L'"') {
            ++text;
        }
        if (*text == L'"') {
            ++text;
        }
    } else {
        while (*text != L'\0' && *text != L' ' && *text != L'\t') {
            ++text;
        }
    }
    while (*text == L' ' || *text == L'\t') {
        ++text;
    }
    return text;
}

SIZE_T peakWorkingSet(HANDLE process)
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(process, &counters, sizeof(counters))) {
        return 0;
    }
    return counters.PeakWorkingSetSize;
}

} // namespace

int wmain()
{
    std::wstring commandLine = childCommandLine();
    if (commandLine.empty()) {
        std::fprintf(stderr, "usage: peak_memory.exe COMMAND LINE...\n");
        return 1;
    }

    LARGE_INTEGER frequency{};
    LARGE_INTEGER start{};
    LARGE_INTEGER end{};
    QueryPerformanceFrequency(&frequency);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    quorila::UniqueProcessInformation<PROCESS_INFORMATION> child;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
        const DWORD code = GetLastError();
        std::fprintf(stderr, "cannot start the command (Win32 error %lu)\n", static_cast<unsigned long>(code));
        return 1;
    }

    SIZE_T peak = 0;
    while (WaitForSingleObject(child.hProcess, 20) == WAIT_TIMEOUT) {
        const SIZE_T now = peakWorkingSet(child.hProcess);
        peak = now > peak ? now : peak;
    }
    QueryPerformanceCounter(&end);
    const SIZE_T last = peakWorkingSet(child.hProcess);
    peak = last > peak ? last : peak;

    DWORD exitCode = 0;
    GetExitCodeProcess(child.hProcess, &exitCode);
    const double milliseconds =
        static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
    std::printf("exit=%lu ms=%.1f peak_working_set=%llu\n", static_cast<unsigned long>(exitCode), milliseconds,
                static_cast<unsigned long long>(peak));
    return 0;
}
