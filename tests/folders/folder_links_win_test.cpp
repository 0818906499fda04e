// Making and removing real links for the folder tests, and the facts about links that the tree
// copy and the removal rely on.

#include "folders/folder_links.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

#include "folders/file_ops.h"
#include "folders/path_grammar.h"
#include "support/test_support.h"

namespace quorila::test {

namespace {

using UnixFileName = char*(CDECL*)(LPCWSTR);

UnixFileName unixFileNameFunction()
{
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel == nullptr
        ? nullptr
        : reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
}

std::wstring widen(const char* text)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (length <= 1) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length - 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
    return wide;
}

// The Unix path of an existing Windows path (the last element is not resolved, so a link stays a
// link).
std::optional<std::wstring> unixPath(const std::wstring& path)
{
    const UnixFileName toUnix = unixFileNameFunction();
    if (toUnix == nullptr) {
        return std::nullopt;
    }
    char* folder = toUnix(std::wstring(parentPath(path)).c_str());
    if (folder == nullptr) {
        return std::nullopt;
    }
    std::wstring result = widen(folder) + L"/" + std::wstring(fileName(path));
    HeapFree(GetProcessHeap(), 0, folder);
    return result;
}

// Starts a Unix program and waits until `done` holds. Wine's handle of a Unix program is signalled
// before the program has finished (and carries no exit status), so the result is waited for.
template <typename Done>
bool runUnix(const std::wstring& program, const std::wstring& arguments, Done done)
{
    if (!startProgram(program, arguments)) {
        return false;
    }
    for (int i = 0; i < 3000; ++i) {
        if (done()) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

} // namespace

bool underWine()
{
    return unixFileNameFunction() != nullptr;
}

bool makeLink(const std::wstring& target, const std::wstring& link)
{
    if (underWine()) {
        const auto unixTarget = unixPath(target);
        const auto unixLink = unixPath(link);
        return unixTarget && unixLink
            && runUnix(L"Z:\\bin\\ln", L"-s \"" + *unixTarget + L"\" \"" + *unixLink + L"\"",
                       [&] { return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; });
    }
    const DWORD folderFlag = isFolder(target) ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
    return CreateSymbolicLinkW(link.c_str(), target.c_str(), folderFlag | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)
        && GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool removeLink(const std::wstring& link)
{
    if (underWine()) {
        const auto unixLink = unixPath(link);
        return unixLink
            && runUnix(L"Z:\\bin\\rm", L"-f \"" + *unixLink + L"\"", [&] { return !exists(link); });
    }
    const DWORD attributes = GetFileAttributesW(link.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return false;
    }
    const BOOL removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryW(link.c_str())
                                                                      : DeleteFileW(link.c_str());
    return removed && !exists(link);
}

namespace {

// The link helpers make real links, and a linked folder shows as a reparse point (the mark that
// keeps the tree copy and the removal out of it).
TEST(FolderLinks, LinkedFolderIsAReparsePointAndReachesItsTarget)
{
    TempFolder temp;
    const std::wstring outside = temp / L"outside";
    writeFile(joinPath(outside, L"a.txt"), "outside a");
    writeFile(temp / L"plain.txt", "plain");
    const std::wstring link = temp / L"linked";
    if (!makeLink(outside, link)) {
        ASSERT_TRUE(!underWine()) << "ln -s under Wine made no link";
        GTEST_SKIP() << "this account may not make symbolic links";
    }

    EXPECT_TRUE(isReparsePoint(link));
    EXPECT_TRUE(isFolder(link));
    EXPECT_EQ(readFile(joinPath(link, L"a.txt")), "outside a");
    EXPECT_FALSE(isReparsePoint(outside));
    EXPECT_FALSE(isReparsePoint(temp / L"plain.txt"));
    EXPECT_FALSE(isReparsePoint(temp / L"missing"));

    ASSERT_TRUE(removeLink(link));
    EXPECT_EQ(readFile(joinPath(outside, L"a.txt")), "outside a");
}

} // namespace
} // namespace quorila::test
