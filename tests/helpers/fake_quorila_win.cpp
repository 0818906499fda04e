// A stand-in for the Quorila application, started by the tests.
//   fake_quorila.exe [--record ...]   appends "pid=<own id>\texe=<own path>\tcwd=<current folder>\tcmd=
//                                 <command line>\tversion=<version.txt beside itself>" + CR LF to started.log
//                                 beside itself
//   fake_quorila.exe --run MS|forever [FILE]   prints its process id, runs that long, holding FILE
//                                 (beside itself) open as an application holds its data

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "base/growing_text.h"
#include "base/unique_handle.h"
#include "fs/path_grammar.h"
#include "log/log_format.h"
#include "process/own_executable.h"

namespace {

using namespace quorila;

std::wstring self()
{
    std::error_code error;
    return ownExecutablePath(error);
}

// The file `name` beside this program, opened as asked.
UniqueFile besideSelf(const std::wstring& name, DWORD access, DWORD share, DWORD disposition)
{
    const std::wstring path = joinPath(parentPath(self()), name);
    return UniqueFile(CreateFileW(path.c_str(), access, share, nullptr, disposition, 0, nullptr));
}

int recordStart()
{
    std::string version(64, '\0');
    DWORD read = 0;
    const UniqueFile versionFile = besideSelf(L"version.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    version.resize(versionFile && ReadFile(versionFile.get(), version.data(), 64, &read, nullptr) ? read : 0);
    const std::wstring folder =
        growingText([](wchar_t* text, DWORD size) { return GetCurrentDirectoryW(size, text); }).value_or(L"");
    const std::string line = toUtf8(L"pid=" + std::to_wstring(GetCurrentProcessId()) + L"\texe=" + self() + L"\tcwd="
                                    + folder + L"\tcmd=" + GetCommandLineW() + L"\tversion=") + version + "\r\n";
    const UniqueFile record = besideSelf(L"started.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
    DWORD written = 0;
    return record && WriteFile(record.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ? 0 : 3;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc <= 1 || std::wcscmp(argv[1], L"--record") == 0) {
        return recordStart();
    }
    if ((argc == 3 || argc == 4) && std::wcscmp(argv[1], L"--run") == 0) {
        const UniqueFile held = argc == 4 ? besideSelf(argv[3], GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING) : UniqueFile();
        std::printf("%lu\n", GetCurrentProcessId());
        std::fflush(stdout);
        Sleep(std::wcscmp(argv[2], L"forever") == 0 ? INFINITE : std::wcstoul(argv[2], nullptr, 10));
        return 0;
    }
    return 1;
}
