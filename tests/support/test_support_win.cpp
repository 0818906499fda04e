#include "support/test_support.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>

#include <windows.h>

#include "folders/install_clearing.h"
#include "folders/path_grammar.h"

namespace fs = std::filesystem;

namespace quorila::test {

namespace {

std::wstring uniqueName()
{
    static std::atomic<unsigned> counter{0};
    return L"quorila-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64())
        + L"-" + std::to_wstring(counter++);
}

} // namespace

TempFolder::TempFolder()
{
    std::error_code error;
    const fs::path base = fs::temp_directory_path(error);
    path_ = (base / uniqueName()).wstring();
    fs::create_directories(path_, error);
    EXPECT_FALSE(error) << "cannot create the test folder";
}

TempFolder::~TempFolder()
{
    // A program a test started (the fake application) may take a moment to end after its last
    // write; a handle that stays open fails the removal for good.
    std::error_code error;
    for (int attempt = 0; attempt < 30; ++attempt) {
        removeTree(path_, error);
        if (!error) {
            break;
        }
        Sleep(100);
    }
    EXPECT_FALSE(error) << "the test folder could not be removed: something is still open: " << error.message();
    EXPECT_FALSE(exists(path_));
}

std::wstring TempFolder::operator/(const std::wstring& name) const
{
    return joinPath(path_, name);
}

void writeFile(const std::wstring& path, const std::string& content)
{
    std::error_code error;
    fs::create_directories(fs::path(path).parent_path(), error);
    std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
    out << content;
    ASSERT_TRUE(out.good()) << "cannot write a test file";
}

std::optional<std::string> readFile(const std::wstring& path)
{
    std::ifstream in(fs::path(path), std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

void makeFolder(const std::wstring& path)
{
    std::error_code error;
    fs::create_directories(fs::path(path), error);
    ASSERT_FALSE(error) << "cannot create a test folder";
}

namespace {

// Adds the entries below `folder` to `tree`, by the platform's own listing (long paths fine): a
// link or other reparse point is listed as "<link>" and never entered.
void addEntries(const std::wstring& folder, const std::wstring& relative, Tree& tree)
{
    WIN32_FIND_DATAW found{};
    const HANDLE first =
        FindFirstFileExW(joinPath(folder, L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (first == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot list a folder of " << relative.size() << " units below the snapshot's root";
        return;
    }
    const std::unique_ptr<void, decltype(&FindClose)> listing(first, &FindClose);
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        const std::wstring path = joinPath(folder, name);
        const std::wstring entry = relative.empty() ? name : relative + L"\\" + name;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            tree[entry] = "<link>";
        } else if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            tree[entry] = "<dir>";
            addEntries(path, entry, tree);
        } else {
            tree[entry] = readFile(path).value_or("<unreadable>");
        }
    } while (FindNextFileW(listing.get(), &found));
}

} // namespace

Tree snapshot(const std::wstring& root)
{
    Tree tree;
    if (isFolder(root)) {
        addEntries(root, L"", tree);
    }
    return tree;
}

void writeTree(const std::wstring& root, const Tree& tree)
{
    makeFolder(root);
    for (const auto& [relative, content] : tree) {
        if (content == "<dir>") {
            makeFolder(joinPath(root, relative));
        } else {
            writeFile(joinPath(root, relative), content);
        }
    }
}

std::wstring binFolder()
{
    std::wstring buffer(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    buffer.resize(length);
    return std::wstring(parentPath(buffer));
}

std::wstring binProgram(const std::wstring& name)
{
    return joinPath(binFolder(), name);
}

std::optional<StartedProcess> startProgram(const std::wstring& program, const std::wstring& arguments)
{
    // Under Wine a new process can die in Wine's own start-up, before any of the program runs; the
    // caller then sees ERROR_INTERNAL_ERROR (about one start in a few thousand here).
    // Such a start is tried again: the program never ran, so nothing it would do is hidden.
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty()) {
        commandLine += L" " + arguments;
    }
    constexpr int attempts = 3;
    DWORD error = 0;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        std::wstring buffer = commandLine; // CreateProcessW may write to the command line it is given
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &info)) {
            StartedProcess started;
            started.handles.process.reset(info.hProcess);
            started.handles.thread.reset(info.hThread);
            started.processId = info.dwProcessId;
            return started;
        }
        error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR) {
            break;
        }
        std::printf("note: Wine lost %ls in its start-up (Win32 error %lu); starting it again\n", program.c_str(),
                    static_cast<unsigned long>(error));
    }
    ADD_FAILURE() << "CreateProcessW failed with Win32 error " << error << " for " << testing::PrintToString(program);
    return std::nullopt;
}

std::optional<unsigned long> waitForExit(StartedProcess& process, unsigned long milliseconds)
{
    if (WaitForSingleObject(process.handles.process.get(), milliseconds) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(process.handles.process.get(), &code)) {
        return std::nullopt;
    }
    return code;
}

std::optional<unsigned long> runProgram(const std::wstring& program, const std::wstring& arguments,
                                        unsigned long milliseconds)
{
    auto process = startProgram(program, arguments);
    if (!process) {
        return std::nullopt;
    }
    auto code = waitForExit(*process, milliseconds);
    if (!code) {
        ADD_FAILURE() << testing::PrintToString(program) << " did not end within " << milliseconds << " ms";
        TerminateProcess(process->handles.process.get(), 1);
        WaitForSingleObject(process->handles.process.get(), INFINITE);
    }
    return code;
}

FileLock::FileLock(const std::wstring& path, unsigned long shareMode)
{
    // The ready marker goes to the temp folder so that it never lands inside a tree under test.
    std::error_code error;
    const std::wstring marker = (fs::temp_directory_path(error) / (uniqueName() + L".ready")).wstring();
    locker_ = startProgram(binProgram(L"file_locker.exe"),
                           L"\"" + path + L"\" " + std::to_wstring(shareMode) + L" \"" + marker + L"\"");
    if (!locker_) {
        ADD_FAILURE() << "cannot start file_locker.exe";
        return;
    }
    // The locker creates the marker once it holds the file, or ends when it cannot.
    for (int i = 0; i < 6000 && !held_; ++i) {
        if (exists(marker)) {
            held_ = true;
        } else if (WaitForSingleObject(locker_->handles.process.get(), 10) == WAIT_OBJECT_0) {
            break;
        }
    }
    marker_ = marker;
    if (!held_) {
        ADD_FAILURE() << "file_locker.exe could not hold the file";
        release();
    }
}

FileLock::~FileLock()
{
    release();
}

void FileLock::release()
{
    if (locker_) {
        TerminateProcess(locker_->handles.process.get(), 0);
        WaitForSingleObject(locker_->handles.process.get(), INFINITE);
        locker_.reset();
    }
    // Removed only once the locker has ended: it may still hold the marker it has just made.
    if (!marker_.empty()) {
        DeleteFileW(marker_.c_str());
        marker_.clear();
    }
    held_ = false;
}

std::wstring fromUtf8(const std::string& text)
{
    if (text.empty()) {
        return {};
    }
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

bool hasLogFormat(const std::wstring& logPath)
{
    const std::string content = readFile(logPath).value_or("");
    if (content.empty() || content.starts_with("\xEF\xBB\xBF") || !content.ends_with("\r\n")) {
        return false;
    }
    std::size_t start = 0;
    while (start < content.size()) {
        const std::size_t end = content.find("\r\n", start);
        const std::string line = content.substr(start, end - start);
        start = end + 2;
        // [year-month-day hour:minute:second] with 1-4 or 1-2 digits, no leading zero
        std::size_t pos = 1;
        auto number = [&](char after, std::size_t maxDigits) {
            const std::size_t first = pos;
            while (pos < line.size() && line[pos] >= '0' && line[pos] <= '9') {
                ++pos;
            }
            const std::size_t digits = pos - first;
            const bool ok = digits >= 1 && digits <= maxDigits && !(digits > 1 && line[first] == '0')
                && pos < line.size() && line[pos] == after;
            ++pos;
            return ok;
        };
        const bool ok = !line.empty() && line[0] == '[' && number('-', 4) && number('-', 2) && number(' ', 2)
            && number(':', 2) && number(':', 2) && number(']', 2) && pos < line.size() && line[pos] == ' '
            && line.find('\n') == std::string::npos;
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::vector<std::wstring> logMessages(const std::wstring& logPath)
{
    std::vector<std::wstring> messages;
    const std::string content = readFile(logPath).value_or("");
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find("\r\n", start);
        std::string line = content.substr(start, end == std::string::npos ? std::string::npos : end - start);
        const std::size_t stamp = line.find("] ");
        std::wstring message = fromUtf8(stamp == std::string::npos ? line : line.substr(stamp + 2));
        if (end == std::string::npos) {
            message += L"<no CRLF>";
            start = content.size();
        } else {
            start = end + 2;
        }
        messages.push_back(message);
    }
    return messages;
}

} // namespace quorila::test
