// Shows what the elevated relaunch hands to the new instance.
//
//   relaunch_probe.exe FOLDER [ARGUMENTS...]
//
// First start (no FOLDER\first.txt yet): writes its arguments after the program, one per line in
// UTF-8, to FOLDER\first.txt and relaunches itself through relaunchElevated, logging to
// FOLDER\log.txt; exits 0 when the relaunch started, 21 when it did not.
// Second start (first.txt exists): writes its arguments the same way to FOLDER\second.txt and
// exits 0. second.txt appears in one step (written under another name, then renamed), so a
// reader never sees it half written.

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "log/update_log.h"
#include "process/relaunch.h"
#include "base/unique_handle.h"

namespace {

struct ArgvDeleter {
    void operator()(wchar_t** argv) const noexcept { LocalFree(argv); }
};

std::vector<std::wstring> ownArguments()
{
    int count = 0;
    const std::unique_ptr<wchar_t*, ArgvDeleter> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!argv) {
        return {};
    }
    return std::vector<std::wstring>(argv.get(), argv.get() + count);
}

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

// Arguments after the program, one per line ending in "\n".
bool writeArguments(const std::wstring& path, const std::vector<std::wstring>& arguments)
{
    std::string content;
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        content += toUtf8(arguments[index]) + "\n";
    }
    const quorila::UniqueHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    return WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
           written == content.size();
}

} // namespace

int wmain()
{
    const std::vector<std::wstring> arguments = ownArguments();
    if (arguments.size() < 2) {
        return 1;
    }
    const std::wstring folder = arguments[1] + L"\\";
    if (GetFileAttributesW((folder + L"first.txt").c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (!writeArguments(folder + L"first.txt", arguments)) {
            return 2;
        }
        quorila::UpdateLog log = quorila::openUpdateLog(folder + L"log.txt");
        const bool relaunched = quorila::relaunchElevated(log);
        quorila::closeUpdateLog(log);
        return relaunched ? 0 : 21;
    }
    if (!writeArguments(folder + L"second.tmp", arguments) ||
        !MoveFileW((folder + L"second.tmp").c_str(), (folder + L"second.txt").c_str())) {
        return 2;
    }
    return 0;
}
