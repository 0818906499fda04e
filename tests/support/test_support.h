#pragma once

// What the Windows tests share: a folder per test, trees written and read back whole, programs of
// the build started (the updater, the stand-in application), links, the log.

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "base/unique_handle.h"
#include "fs/file_ops.h"
#include "fs/full_path.h"
#include "fs/path_grammar.h"
#include "process/own_executable.h"

namespace quorila::test {

// A fresh folder for one test; removing it at the end must succeed (a handle left open fails it).
class TempFolder {
public:
    TempFolder()
    {
        // Made new: process ids come round again, and a folder an earlier run could not remove
        // (a test that failed, a killed run) must not stop this one.
        static std::atomic<unsigned> counter{0};
        std::wstring base(MAX_PATH + 1, L'\0');
        base.resize(GetTempPathW(static_cast<DWORD>(base.size()), base.data()));
        const std::wstring stem = base + L"quorila-test-" + std::to_wstring(GetCurrentProcessId()) + L"-";
        do {
            path_ = stem + std::to_wstring(counter++);
        } while (!CreateDirectoryW(path_.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
        EXPECT_NE(GetFileAttributesW(path_.c_str()), INVALID_FILE_ATTRIBUTES) << "no test folder could be made";
    }
    ~TempFolder()
    {
        // Every program the test started has ended by now (waited for by its handle or its record).
        std::error_code error;
        removeTree(path_, error);
        EXPECT_FALSE(error) << "the test folder could not be removed: " << error.message();
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return joinPath(path_, name); }

private:
    std::wstring path_;
};

inline std::wstring fromUtf8(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                             wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

inline std::optional<std::string> readFile(const std::wstring& path)
{
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    if (!file) {
        return std::nullopt;
    }
    std::string content;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0) {
        content.append(chunk, read);
    }
    return content;
}

inline void writeFile(const std::wstring& path, const std::string& content)
{
    std::error_code error;
    createFolders(std::wstring(parentPath(path)), error);
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(file && WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr))
        << "cannot write a test file";
}

// The identity of what is at `path`; a test failure when there is none.
inline FileId idOf(const std::wstring& path)
{
    std::error_code error;
    const std::optional<FileId> id = fileId(path, error);
    EXPECT_TRUE(id && !error) << "no identity";
    return id.value_or(FileId{});
}

inline bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}


// Entries below a root by relative path: a file maps to its content, a folder to "<dir>", a link
// (never entered) to "<link>". Listed by the platform itself, so long paths read whole.
using Tree = std::map<std::wstring, std::string>;

inline Tree snapshot(const std::wstring& root, const std::wstring& relative = L"")
{
    Tree tree;
    const std::wstring folder = relative.empty() ? root : joinPath(root, relative);
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return tree;
    }
    WIN32_FIND_DATAW found{};
    const UniqueFindHandle listing(
        FindFirstFileExW(joinPath(folder, L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    EXPECT_TRUE(listing) << "cannot list a folder of the snapshot";
    for (bool more = listing.valid(); more; more = FindNextFileW(listing.get(), &found)) {
        const std::wstring name = found.cFileName, entry = relative.empty() ? name : relative + L"\\" + name;
        if (name == L"." || name == L"..") {
            continue;
        }
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            tree[entry] = "<link>";
        } else if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            tree[entry] = "<dir>";
            tree.merge(snapshot(root, entry));
        } else {
            tree[entry] = readFile(joinPath(folder, name)).value_or("<unreadable>");
        }
    }
    return tree;
}

inline void writeTree(const std::wstring& root, const Tree& tree)
{
    std::error_code error;
    createFolders(root, error);
    for (const auto& [relative, content] : tree) {
        if (content == "<dir>") {
            createFolders(joinPath(root, relative), error);
        } else {
            writeFile(joinPath(root, relative), content);
        }
    }
}

// The path with its last element in its short (8.3) form; a test failure when it has none.
inline std::wstring shortPath(const std::wstring& path)
{
    std::wstring buffer(32768, L'\0');
    buffer.resize(GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size())));
    EXPECT_NE(fileName(buffer), fileName(path)) << "no short name";
    return buffer;
}

// A program beside the test program (the updater, fake_quorila.exe).
inline std::wstring binProgram(const std::wstring& name)
{
    std::error_code error;
    return joinPath(parentPath(ownExecutablePath(error)), name);
}

using Started = UniqueProcessInformation<PROCESS_INFORMATION>;

inline std::optional<Started> start(const std::wstring& program, const std::wstring& arguments,
                                    const std::wstring& workingFolder = {}, SECURITY_ATTRIBUTES* security = nullptr)
{
    // Wine now and then loses a new process in its own start-up (ERROR_INTERNAL_ERROR) before any
    // of the program runs; such a start is tried again.
    DWORD error = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;
        STARTUPINFOW startup{.cb = sizeof(STARTUPINFOW)};
        Started started;
        if (CreateProcessW(program.c_str(), commandLine.data(), security, nullptr, FALSE, 0, nullptr,
                           workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &started)) {
            return started;
        }
        if ((error = GetLastError()) != ERROR_INTERNAL_ERROR) {
            break;
        }
        std::printf("note: Wine lost a start of %ls; starting it again\n", program.c_str());
    }
    ADD_FAILURE() << "cannot start " << testing::PrintToString(program) << ": Win32 error " << error;
    return std::nullopt;
}

// Polls `condition` (a file or log line that no handle signals) until it holds; gives up, a test
// failure, once `program` has ended without it or after two minutes, a bound no passing run meets.
inline bool waitUntil(const std::function<bool()>& condition, const Started* program = nullptr)
{
    for (ULONGLONG begin = GetTickCount64(); GetTickCount64() - begin < 120000; Sleep(10)) {
        const bool ended = program && WaitForSingleObject(program->hProcess, 0) == WAIT_OBJECT_0;
        if (condition()) {
            return true;
        }
        if (ended) {
            break;
        }
    }
    ADD_FAILURE() << "what the test waits for did not happen";
    return false;
}

inline std::optional<unsigned long> waitForExit(Started& process, unsigned long milliseconds = 120000)
{
    DWORD code = 0;
    if (WaitForSingleObject(process.hProcess, milliseconds) != WAIT_OBJECT_0
        || !GetExitCodeProcess(process.hProcess, &code)) {
        return std::nullopt;
    }
    return code;
}

inline std::optional<unsigned long> run(const std::wstring& program, const std::wstring& arguments,
                                        const std::wstring& workingFolder = {})
{
    auto process = start(program, arguments, workingFolder);
    auto code = process ? waitForExit(*process) : std::nullopt;
    if (process && !code) {
        ADD_FAILURE() << "the program did not end within two minutes";
        TerminateProcess(process->hProcess, 1);
        WaitForSingleObject(process->hProcess, INFINITE);
    }
    return code;
}

// The log's messages without their time stamps. Every line must be "[Y-M-D h:m:s] text" + CR LF
// in UTF-8 without a byte-order mark, numbers without leading zeros; one that is not fails the test.
inline std::vector<std::wstring> logMessages(const std::wstring& path)
{
    static const std::regex line(
        R"(\[[1-9]\d{3}-([1-9]|1[0-2])-([1-9]|[12]\d|3[01]) ([1-9]?\d):([1-5]?\d):([1-5]?\d)\] ([^\r\n]+)\r\n)");
    const std::string content = readFile(path).value_or("");
    std::vector<std::wstring> messages;
    auto next = content.cbegin();
    for (std::smatch match; std::regex_search(next, content.cend(), match, line,
                                              std::regex_constants::match_continuous);
         next = match[0].second) {
        messages.push_back(fromUtf8(match[6].str()));
    }
    EXPECT_EQ(next, content.cend()) << "not a log line at byte " << (next - content.cbegin());
    return messages;
}

// The stand-in application's record of its starts in `folder`, a line each ("exe=...\tcwd=...\tcmd=
// ...\tversion=..." + CR LF), once it holds `lines` lines and each recorded program has ended (its
// folders free again). The application writes "pid=<id>\t" first: that is waited for, then left out.
inline std::wstring startLog(const std::wstring& folder, std::size_t lines)
{
    std::wstring content;
    const auto read = [&] {
        content = fromUtf8(readFile(joinPath(folder, L"started.log")).value_or(""));
        return static_cast<std::size_t>(std::count(content.begin(), content.end(), L'\n')) >= lines;
    };
    if (lines > 0) {
        waitUntil(read);
    }
    read();
    for (std::size_t line = 0; content.compare(line, 4, L"pid=") == 0; line = content.find(L'\n', line) + 1) {
        const DWORD id = std::wcstoul(content.c_str() + line + 4, nullptr, 10);
        const UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
        EXPECT_TRUE(!process || WaitForSingleObject(process.get(), 120000) == WAIT_OBJECT_0) << "a start never ended";
        content.erase(line, content.find(L'\t', line) + 1 - line);
    }
    return content;
}

// The Unix path of a Windows path, quoted, its last element unresolved.
inline std::wstring unixPath(const std::wstring& path)
{
    using ToUnix = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* folder = toUnix == nullptr ? nullptr : toUnix(std::wstring(parentPath(path)).c_str());
    const std::wstring result = folder == nullptr ? L"" : fromUtf8(folder) + L"/" + std::wstring(fileName(path));
    HeapFree(GetProcessHeap(), 0, folder);
    return L"\"" + result + L"\"";
}

// A symbolic link at `path` (or at the quoted Unix path `unixAt`) to `target`, removed as itself at the
// end if still there. Under Wine 8 CreateSymbolicLinkW makes nothing and every delete of a link deletes
// its target: the Unix tools make and remove links. Wine hands out no handle of a Unix program: the link
// is waited for until `made` holds (by default: `path` is there), and at the end until it no longer does.
class Link {
public:
    Link(const std::wstring& target, const std::wstring& path, const std::wstring& unixAt = {},
         std::function<bool()> made = {})
        : path_(path), target_(target), at_(unixAt.empty() ? unixPath(path) : unixAt),
          made_(made ? std::move(made) : [path] { return exists(path); })
    {
        EXPECT_TRUE(start(L"Z:\\bin\\ln", L"-sfn " + unixPath(target) + L" " + at_) && waitUntil(made_))
            << "no link could be made";
    }
    ~Link()
    {
        if (!exists(target_)) {
            writeFile(target_, ""); // a link left dangling is made whole, so that its removal shows
        }
        EXPECT_TRUE(!made_() || (start(L"Z:\\bin\\rm", L"-f " + at_) && waitUntil([&] { return !made_(); })))
            << "a link was left behind";
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_, target_, at_;
    std::function<bool()> made_;
};

} // namespace quorila::test
