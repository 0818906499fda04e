// Measures how soon the updater notices that the application has exited.
//
//   wait_latency.exe REPETITIONS RUN_MS FAKE_QUORILA UPDATER OPTIONS...
//
// Each repetition starts FAKE_QUORILA with "--run RUN_MS" (it ends RUN_MS ms later), then UPDATER
// with "--pid <the fake's id>" followed by OPTIONS (the other five options, --log among them).
// Once the updater has logged that it waits, this program waits on the fake's handle itself and
// notes the moment it ends; then it reads the log every millisecond until the updater's line
// "Quorila süreci kapandı." appears, and notes that moment too (QueryPerformanceCounter both).
// Prints one line per repetition and a summary:
//   sample <n>: delay_ms=<fake's end to the line> exit=<updater's exit code>
//   median_ms=<m> min_ms=<a> max_ms=<b> samples=<valid samples>
// A repetition in which the fake ended before the updater began to wait is reported and not
// counted. Exits 0 when every repetition gave a sample and every updater run ended with 0.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "base/unique_handle.h"
#include "process/relaunch.h"

namespace {

const std::string waitingLine = "Quorila sürecinin kapanması bekleniyor...";
const std::string closedLine = "Quorila süreci kapandı.";
const std::string goneLine = "Ana Quorila süreci zaten kapalı veya erişilemiyor; devam ediliyor.";

unsigned long long fileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The file's bytes from `offset` on; empty when it cannot be read.
std::string readFrom(const std::wstring& path, unsigned long long offset)
{
    const quorila::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return {};
    }
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file.get(), position, nullptr, FILE_BEGIN)) {
        return {};
    }
    std::string content;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
        content.append(chunk, read);
    }
    return content;
}

using Started = quorila::UniqueProcessInformation<PROCESS_INFORMATION>;

std::optional<Started> start(const std::wstring& program, std::wstring commandLine, HANDLE output)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (output != nullptr) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = output;
        startup.hStdOutput = output;
        startup.hStdError = output;
    }
    Started info;
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, output != nullptr ? TRUE : FALSE, 0,
                        nullptr, nullptr, &startup, &info)) {
        return std::nullopt;
    }
    return info;
}

double millisecondsBetween(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "usage: wait_latency.exe REPETITIONS RUN_MS FAKE_QUORILA UPDATER OPTIONS...\n");
        return 1;
    }
    const unsigned long repetitions = std::wcstoul(argv[1], nullptr, 10);
    const std::wstring runMilliseconds = argv[2];
    const std::wstring fake = argv[3];
    const std::wstring updater = argv[4];
    std::wstring options;
    std::wstring logPath;
    for (int index = 5; index < argc; ++index) {
        options += L" " + quorila::quoteArgument(argv[index]);
        if (std::wcscmp(argv[index], L"--log") == 0 && index + 1 < argc) {
            logPath = argv[index + 1];
        }
    }
    if (logPath.empty()) {
        std::fprintf(stderr, "the options must name the log (--log)\n");
        return 1;
    }

    // The fake prints its id; that goes nowhere.
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const quorila::UniqueFile nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));

    std::vector<double> delays;
    bool allGood = true;
    for (unsigned long sample = 1; sample <= repetitions; ++sample) {
        const unsigned long long logStart = fileSize(logPath);
        auto application = start(fake, L"\"" + fake + L"\" --run " + runMilliseconds, nul.get());
        if (!application) {
            std::fprintf(stderr, "cannot start the fake application\n");
            return 1;
        }
        const std::wstring pid = std::to_wstring(GetProcessId(application->hProcess));
        auto updaterProcess = start(updater, L"\"" + updater + L"\" --pid " + pid + options, nullptr);
        if (!updaterProcess) {
            std::fprintf(stderr, "cannot start the updater\n");
            WaitForSingleObject(application->hProcess, INFINITE);
            return 1;
        }

        // The updater must be waiting before the fake ends, or there is nothing to measure.
        bool waiting = false;
        while (WaitForSingleObject(application->hProcess, 1) == WAIT_TIMEOUT) {
            const std::string added = readFrom(logPath, logStart);
            if (added.find(waitingLine) != std::string::npos) {
                waiting = true;
                break;
            }
            if (added.find(goneLine) != std::string::npos
                || WaitForSingleObject(updaterProcess->hProcess, 0) == WAIT_OBJECT_0) {
                break;
            }
        }
        WaitForSingleObject(application->hProcess, INFINITE);
        LARGE_INTEGER exited{};
        QueryPerformanceCounter(&exited);

        std::optional<double> delay;
        if (waiting) {
            const ULONGLONG deadline = GetTickCount64() + 10000;
            while (GetTickCount64() < deadline) {
                if (readFrom(logPath, logStart).find(closedLine) != std::string::npos) {
                    LARGE_INTEGER seen{};
                    QueryPerformanceCounter(&seen);
                    delay = millisecondsBetween(exited, seen);
                    break;
                }
                Sleep(1);
            }
        }

        DWORD exitCode = 0;
        const bool ended = WaitForSingleObject(updaterProcess->hProcess, 120000) == WAIT_OBJECT_0
            && GetExitCodeProcess(updaterProcess->hProcess, &exitCode);
        if (!ended) {
            TerminateProcess(updaterProcess->hProcess, 1);
            WaitForSingleObject(updaterProcess->hProcess, INFINITE);
        }
        if (delay) {
            std::printf("sample %lu: delay_ms=%.1f exit=%lu\n", sample, *delay, static_cast<unsigned long>(exitCode));
            delays.push_back(*delay);
        } else {
            std::printf("sample %lu: no measurement (%s) exit=%lu\n", sample,
                        waiting ? "the line did not appear" : "the updater was not waiting yet",
                        static_cast<unsigned long>(exitCode));
            allGood = false;
        }
        allGood = allGood && ended && exitCode == 0;
        std::fflush(stdout);
    }

    if (delays.empty()) {
        std::printf("median_ms=none samples=0\n");
        return 2;
    }
    std::sort(delays.begin(), delays.end());
    const std::size_t middle = delays.size() / 2;
    const double median = delays.size() % 2 == 1 ? delays[middle] : (delays[middle - 1] + delays[middle]) / 2;
    std::printf("median_ms=%.1f min_ms=%.1f max_ms=%.1f samples=%zu\n", median, delays.front(), delays.back(),
                delays.size());
    return allGood ? 0 : 2;
}
