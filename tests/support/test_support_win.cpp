#include "support/test_support.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <regex>

#include <windows.h>

#include "folders/file_ops.h"
#include "folders/path_grammar.h"
#include "process/relaunch.h"

namespace quorila::test {

TempFolder::TempFolder()
{
    static std::atomic<unsigned> counter{0};
    std::wstring base(MAX_PATH + 1, L'\0');
    base.resize(GetTempPathW(static_cast<DWORD>(base.size()), base.data()));
    path_ = base + L"quorila-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++);
    std::error_code error;
    removeTree(path_, error); // left by an earlier run whose process had this id
    EXPECT_TRUE(CreateDirectoryW(path_.c_str(), nullptr));
}

TempFolder::~TempFolder()
{
    // A program the test started may still be ending; what stays open for 3 s is a leak.
    std::error_code error;
    waitUntil([&] { return removeTree(path_, error), !error; }, 3000);
    EXPECT_FALSE(error) << "the test folder could not be removed: " << error.message();
}

std::wstring TempFolder::operator/(const std::wstring& name) const
{
    return joinPath(path_, name);
}

namespace {

std::wstring fromUtf8(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                             wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

void addEntries(const std::wstring& folder, const std::wstring& relative, Tree& tree)
{
    WIN32_FIND_DATAW found{};
    const UniqueFindHandle listing(
        FindFirstFileExW(joinPath(folder, L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    ASSERT_TRUE(listing) << "cannot list a folder of the snapshot";
    do {
        const std::wstring name = found.cFileName;
        const std::wstring entry = relative.empty() ? name : relative + L"\\" + name;
        if (name == L"." || name == L"..") {
            continue;
        }
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            tree[entry] = "<link>";
        } else if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            tree[entry] = "<dir>";
            addEntries(joinPath(folder, name), entry, tree);
        } else {
            tree[entry] = readFile(joinPath(folder, name)).value_or("<unreadable>");
        }
    } while (FindNextFileW(listing.get(), &found));
}

std::wstring quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

// The Unix path of a Windows path, its last element unresolved; empty when not under Wine.
std::wstring unixPath(const std::wstring& path)
{
    using ToUnix = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* folder = toUnix == nullptr ? nullptr : toUnix(std::wstring(parentPath(path)).c_str());
    if (folder == nullptr) {
        return {};
    }
    const std::wstring result = fromUtf8(folder) + L"/" + std::wstring(fileName(path));
    HeapFree(GetProcessHeap(), 0, folder);
    return result;
}

} // namespace

Tree snapshot(const std::wstring& root)
{
    Tree tree;
    const DWORD attributes = GetFileAttributesW(root.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        addEntries(root, L"", tree);
    }
    return tree;
}

void writeTree(const std::wstring& root, const Tree& tree)
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

void writeFile(const std::wstring& path, const std::string& content)
{
    std::error_code error;
    createFolders(std::wstring(parentPath(path)), error);
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(file && WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr))
        << "cannot write a test file";
}

std::optional<std::string> readFile(const std::wstring& path)
{
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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

bool exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring shortPath(const std::wstring& path)
{
    std::wstring buffer(32768, L'\0');
    buffer.resize(GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size())));
    EXPECT_NE(fileName(buffer), fileName(path)) << "no short name";
    return buffer;
}

std::wstring binProgram(const std::wstring& name)
{
    return joinPath(parentPath(ownExecutablePath()), name);
}

std::optional<Started> start(const std::wstring& program, const std::wstring& arguments)
{
    // Wine now and then loses a new process in its own start-up (ERROR_INTERNAL_ERROR) before any
    // of the program runs; such a start is tried again.
    DWORD error = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::wstring commandLine = quoted(program) + L" " + arguments;
        STARTUPINFOW startup{.cb = sizeof(STARTUPINFOW)};
        PROCESS_INFORMATION info{};
        if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                           &startup, &info)) {
            Started started{.id = info.dwProcessId};
            started.handles.process.reset(info.hProcess);
            started.handles.thread.reset(info.hThread);
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

std::optional<unsigned long> waitForExit(Started& process, unsigned long milliseconds)
{
    DWORD code = 0;
    if (WaitForSingleObject(process.handles.process.get(), milliseconds) != WAIT_OBJECT_0
        || !GetExitCodeProcess(process.handles.process.get(), &code)) {
        return std::nullopt;
    }
    return code;
}

std::optional<unsigned long> run(const std::wstring& program, const std::wstring& arguments)
{
    auto process = start(program, arguments);
    auto code = process ? waitForExit(*process) : std::nullopt;
    if (process && !code) {
        ADD_FAILURE() << "the program did not end within two minutes";
        TerminateProcess(process->handles.process.get(), 1);
        WaitForSingleObject(process->handles.process.get(), INFINITE);
    }
    return code;
}

bool waitUntil(const std::function<bool()>& condition, unsigned milliseconds)
{
    for (unsigned waited = 0; waited < milliseconds; waited += 10, Sleep(10)) {
        if (condition()) {
            return true;
        }
    }
    return condition();
}

std::vector<std::wstring> logMessages(const std::wstring& path)
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

// Under Wine 8 CreateSymbolicLinkW makes nothing and every delete of a link deletes its target:
// the Unix tools make and remove links. Wine cannot wait for them; the effect is waited for.
Link::Link(const std::wstring& target, const std::wstring& path) : path_(path)
{
    EXPECT_TRUE(start(L"Z:\\bin\\ln", L"-sn " + quoted(unixPath(target)) + L" " + quoted(unixPath(path)))
                && waitUntil([&] { return exists(path); }))
        << "no link could be made";
}

Link::~Link()
{
    EXPECT_TRUE(!exists(path_) || (start(L"Z:\\bin\\rm", L"-f " + quoted(unixPath(path_)))
                                   && waitUntil([&] { return !exists(path_); })))
        << "a link was left behind";
}

std::wstring startLog(const std::wstring& folder, std::size_t lines)
{
    std::wstring content;
    waitUntil([&] {
        content = fromUtf8(readFile(joinPath(folder, L"started.log")).value_or(""));
        return static_cast<std::size_t>(std::count(content.begin(), content.end(), L'\n')) >= lines;
    }, lines == 0 ? 0 : 20000);
    return content;
}

} // namespace quorila::test
