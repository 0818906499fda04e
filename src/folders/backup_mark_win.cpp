// Reading and writing the backup folder's state file. The backup folder lies in the user's
// profile while the run may be elevated: the state file is read only when it is a plain file of
// one name reached at its own place (not a link, which Wine opens as what it points to whatever
// the flags), and it is written only into a file created new, renamed over the old name, never
// through an entry that was there.

#include "folders/backup_mark.h"

#include <optional>
#include <string>
#include <system_error>

#include <windows.h>

#include "fs/held.h"
#include "fs/path_grammar.h"

namespace quorila {

namespace {

constexpr DWORD longestMark = 256;

} // namespace

std::optional<BackupMark> readBackupMark(const std::wstring& backupFolder)
{
    std::error_code error;
    const Held folder = openFolder(backupFolder, Access::read, error);
    const Held mark = error ? Held{} : openChild(folder, backupMarkName, false, Access::read, error);
    FILE_STANDARD_INFO standard{};
    if (error || mark.isLink()
        || !GetFileInformationByHandleEx(mark.handle.get(), FileStandardInfo, &standard, sizeof(standard))
        || standard.NumberOfLinks != 1 || standard.EndOfFile.QuadPart > longestMark) {
        return std::nullopt;
    }
    char text[longestMark + 1] = {};
    DWORD read = 0;
    if (!ReadFile(mark.handle.get(), text, longestMark + 1, &read, nullptr)) {
        return std::nullopt;
    }
    return parseBackupMark(std::string_view(text, read));
}

bool writeBackupMark(const std::wstring& backupFolder, const BackupMark& mark)
{
    std::error_code error;
    const Held folder = openFolder(backupFolder, Access::write, error);
    ListedEntry stale; // left by a write that was cut off: removed as itself
    if (!error && describeChild(folder, backupMarkTemporaryName, stale, error)) {
        removeChild(folder, stale, error);
    }
    if (error && !isNotFound(error)) {
        return false;
    }
    const std::string text = formatBackupMark(mark);
    bool written = false;
    {
        const Held file = createChild(folder, backupMarkTemporaryName, false, error);
        DWORD count = 0;
        written = !error && WriteFile(file.handle.get(), text.data(), static_cast<DWORD>(text.size()), &count, nullptr)
            && count == text.size() && FlushFileBuffers(file.handle.get());
    }
    // The rename replaces the name, never what an old entry of that name points to. (By path: Wine
    // refuses a rename relative to a folder's handle.)
    const std::wstring temporary = joinPath(backupFolder, backupMarkTemporaryName);
    if (!written
        || !MoveFileExW(temporary.c_str(), joinPath(backupFolder, backupMarkName).c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ListedEntry left;
        if (describeChild(folder, backupMarkTemporaryName, left, error)) {
            removeChild(folder, left, error);
        }
        return false;
    }
    return true;
}

} // namespace quorila
