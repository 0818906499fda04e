// Reading and writing the backup folder's state file. The backup folder lies in the user's
// profile while the run may be elevated: the state file is read only when it is a plain file of
// one name reached at its own place (not a link, which Wine opens as what it points to whatever
// the flags), and it is written only into a file created new, renamed over the old name, never
// through an entry that was there.

#include "folders/backup_mark.h"

#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <windows.h>

#include "base/unique_handle.h"
#include "fs/full_path.h"
#include "fs/path_grammar.h"

namespace quorila {

namespace {

constexpr DWORD longestMark = 256;

// The name of what an open handle reaches, from the root of its volume (of a link the platform
// followed: its target's).
std::optional<std::wstring> reachedName(HANDLE handle)
{
    std::vector<unsigned char> buffer(sizeof(FILE_NAME_INFO) + 32768 * sizeof(wchar_t));
    auto* const info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
    if (!GetFileInformationByHandleEx(handle, FileNameInfo, info, static_cast<DWORD>(buffer.size()))) {
        return std::nullopt;
    }
    return std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t));
}

} // namespace

std::optional<BackupMark> readBackupMark(const std::wstring& backupFolder)
{
    const std::wstring path = joinPath(backupFolder, backupMarkName);
    const UniqueHandle mark(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    const UniqueHandle folder(CreateFileW(backupFolder.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!mark || !folder || !GetFileInformationByHandle(mark.get(), &information)
        || (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0
        || information.nNumberOfLinks != 1 || information.nFileSizeHigh != 0 || information.nFileSizeLow > longestMark) {
        return std::nullopt;
    }
    const auto reached = reachedName(mark.get());
    const auto folderName = reachedName(folder.get());
    if (!reached || !folderName || !equalIgnoringCase(*reached, joinPath(*folderName, backupMarkName))) {
        return std::nullopt;
    }
    char text[longestMark + 1] = {};
    DWORD read = 0;
    if (!ReadFile(mark.get(), text, longestMark + 1, &read, nullptr)) {
        return std::nullopt;
    }
    return parseBackupMark(std::string_view(text, read));
}

bool writeBackupMark(const std::wstring& backupFolder, const BackupMark& mark)
{
    const std::wstring temporary = joinPath(backupFolder, backupMarkTemporaryName);
    std::error_code error;
    removeTree(temporary, error); // left by a write that was cut off
    if (error) {
        return false;
    }
    const std::string text = formatBackupMark(mark);
    bool written = false;
    {
        const UniqueHandle file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD count = 0;
        written = file && WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &count, nullptr)
            && count == text.size() && FlushFileBuffers(file.get());
    }
    if (!written) {
        removeTree(temporary, error);
        return false;
    }
    // The rename replaces the name, never what an old entry of that name points to.
    if (!MoveFileExW(temporary.c_str(), joinPath(backupFolder, backupMarkName).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        removeTree(temporary, error);
        return false;
    }
    return true;
}

} // namespace quorila
