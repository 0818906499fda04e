// A stand-in for the Quorila application, started by the tests.
//
//   fake_quorila.exe [--record]    appends one line to "started.log" beside itself and exits 0:
//                                  exe=<own path>\tcwd=<current folder>\tcmd=<command line>\t
//                                  version=<version.txt beside itself, trimmed, or empty>, UTF-8, CR LF
//   fake_quorila.exe --run MS      prints its process id and a newline, then sleeps MS ms, exits 0
//   fake_quorila.exe --run forever the same, but sleeps until it is ended from outside

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/unique_handle.h"

namespace {

std::string toUtf8(const std::wstring& text)
{
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                            nullptr);
    }
    return result;
}

std::wstring ownPath()
{
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    return std::wstring(buffer.data(), length < buffer.size() ? length : 0);
}

std::wstring currentFolder()
{
    std::vector<wchar_t> buffer(32768);
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    return std::wstring(buffer.data(), length < buffer.size() ? length : 0);
}

std::wstring besideSelf(const std::wstring& exe, const wchar_t* name)
{
    const std::size_t slash = exe.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash + 1)) + name;
}

// The file's bytes without leading and trailing ASCII white space; empty when it cannot be read.
std::string readTrimmed(const std::wstring& path)
{
    const quorila::UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return {};
    }
    std::string content;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
        content.append(chunk, read);
    }
    const char* blanks = " \t\r\n\v\f";
    const std::size_t first = content.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return content.substr(first, content.find_last_not_of(blanks) - first + 1);
}

int recordStart()
{
    const std::wstring exe = ownPath();
    std::string line = "exe=" + toUtf8(exe) + "\tcwd=" + toUtf8(currentFolder()) + "\tcmd=" +
                       toUtf8(GetCommandLineW()) + "\tversion=" + readTrimmed(besideSelf(exe, L"version.txt")) +
                       "\r\n";
    const quorila::UniqueHandle file(CreateFileW(besideSelf(exe, L"started.log").c_str(), FILE_APPEND_DATA,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return 3;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    return ok && written == line.size() ? 0 : 3;
}

int run(const wchar_t* duration)
{
    std::printf("%lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
    std::fflush(stdout);
    if (std::wcscmp(duration, L"forever") == 0) {
        for (;;) {
            Sleep(INFINITE);
        }
    }
    Sleep(static_cast<DWORD>(std::wcstoul(duration, nullptr, 10)));
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc == 3 && std::wcscmp(argv[1], L"--run") == 0) {
        return run(argv[2]);
    }
    if (argc <= 1 || (argc == 2 && std::wcscmp(argv[1], L"--record") == 0)) {
        return recordStart();
    }
    return 1;
}
