#include "support/links.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "folders/folder_safety.h"
#include "folders/path_grammar.h"
#include "support/test_support.h"

namespace quorila::test {

namespace {

using UnixFileName = char*(CDECL*)(LPCWSTR);

UnixFileName unixFileName()
{
    return reinterpret_cast<UnixFileName>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
}

std::wstring inQuotes(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

// Starts a Unix tool and waits for its effect.
bool runUnix(const wchar_t* tool, const std::wstring& arguments, const std::function<bool()>& done)
{
    return startProgram(tool, arguments).has_value() && waitUntil(done);
}

} // namespace

bool underWine()
{
    return unixFileName() != nullptr;
}

bool waitUntil(const std::function<bool()>& condition, unsigned milliseconds)
{
    for (unsigned attempt = 0; attempt < milliseconds / 10; ++attempt) {
        if (condition()) {
            return true;
        }
        Sleep(10);
    }
    return condition();
}

std::wstring unixPath(const std::wstring& path)
{
    const UnixFileName toUnix = unixFileName();
    char* folder = toUnix == nullptr ? nullptr : toUnix(std::wstring(parentPath(path)).c_str());
    if (folder == nullptr) {
        return {};
    }
    std::wstring result = fromUtf8(folder) + L"/" + std::wstring(fileName(path));
    HeapFree(GetProcessHeap(), 0, folder);
    return result;
}

Link::Link(const std::wstring& target, const std::wstring& path) : path_(path)
{
    if (underWine()) {
        made_ = runUnix(L"Z:\\bin\\ln", L"-sn " + inQuotes(unixPath(target)) + L" " + inQuotes(unixPath(path)),
                        [&] { return exists(path); });
        EXPECT_TRUE(made_) << "ln -s under Wine made no link";
        return;
    }
    const DWORD folderFlag = isFolder(target) ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0;
    made_ = CreateSymbolicLinkW(path.c_str(), target.c_str(), folderFlag | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)
        && exists(path);
}

Link::~Link()
{
    if (made_ && exists(path_)) {
        EXPECT_TRUE(remove()) << "link left behind";
    }
}

bool Link::remove()
{
    if (underWine()) {
        return runUnix(L"Z:\\bin\\rm", L"-f " + inQuotes(unixPath(path_)), [&] { return !exists(path_); });
    }
    const DWORD attributes = GetFileAttributesW(path_.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return false;
    }
    return ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryW(path_.c_str()) : DeleteFileW(path_.c_str()))
        && !exists(path_);
}

MappedDrive::MappedDrive()
{
    // The prefix's table of drives is the folder that holds C:'s entry "c:".
    const std::wstring cDrive = unixPath(L"C:\\");
    const std::size_t drives = cDrive.rfind(L"/c:");
    folder_ = L"Z:\\tmp\\quorila-drive-" + std::to_wstring(GetCurrentProcessId()) + L"-"
        + std::to_wstring(GetTickCount64());
    if (drives == std::wstring::npos || !CreateDirectoryW(folder_.c_str(), nullptr)) {
        folder_.clear();
        return;
    }
    writeFile(folder_ + L"\\marker", "drive");
    for (wchar_t letter = L'Y'; letter >= L'K' && mapping_.empty(); --letter) {
        const std::wstring root = std::wstring(1, letter) + L":\\";
        if (GetDriveTypeW(root.c_str()) != DRIVE_NO_ROOT_DIR) {
            continue;
        }
        const std::wstring mapping = cDrive.substr(0, drives) + L"/" + static_cast<wchar_t>(letter - L'A' + L'a') + L":";
        // Another program may take the letter at the same moment: ours shows our marker.
        if (runUnix(L"Z:\\bin\\ln", L"-sn " + inQuotes(unixPath(folder_)) + L" " + inQuotes(mapping),
                    [&] { return exists(root + L"marker"); })) {
            mapping_ = mapping;
            mappedRoot_ = root;
            // Wine reads its table of drives again about once a second; until then it names the
            // folder by Z:.
            if (waitUntil([&] { return finalPath(folder_) == L"\\\\?\\" + root; })) {
                root_ = root;
            }
        }
    }
}

MappedDrive::~MappedDrive()
{
    if (!mapping_.empty()) {
        EXPECT_TRUE(runUnix(L"Z:\\bin\\rm", L"-f " + inQuotes(mapping_), [&] { return !exists(mappedRoot_); }))
            << "drive mapping left behind";
    }
    if (!folder_.empty()) {
        DeleteFileW((folder_ + L"\\marker").c_str());
        EXPECT_TRUE(RemoveDirectoryW(folder_.c_str()));
    }
}

} // namespace quorila::test
