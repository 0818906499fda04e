// Reading and writing the backup folder's state file. The backup folder lies in the user's
// profile while the run may be elevated: the state file is read only when it is a plain file of
// one name reached at its own place (not a link, which Wine opens as what it points to whatever
// the flags), and it is written only into a file created new, renamed over the old name, never
// through an entry that was there. Every step goes through the held backup folder.

#include "folders/backup_mark.h"

#include <optional>
#include <string>
#include <system_error>

#include <windows.h>

#include "fs/held.h"

namespace quorila {

namespace {

constexpr DWORD longestMark = 256;

// The mark in the entry `there` of `folder`; nothing when it is not a valid one.
std::optional<BackupMark> readMark(const Held& folder, const ListedEntry& there)
{
    std::error_code error;
    const Held mark = there.isLink() || there.isFolder()
        ? Held{}
        : openChild(folder, there.name, false, Access::read, error);
    FILE_STANDARD_INFO standard{};
    if (!mark.handle || mark.isLink()
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

// Removes the entry `name` of `folder` as itself, waiting out a fault that passes. True when it
// is not there (any more).
bool removeIfThere(const Held& folder, std::wstring_view name)
{
    std::error_code error;
    ListedEntry there;
    int attempt = 0;
    do {
        if (describeChild(folder, name, there, error)) {
            removeChild(folder, there, error);
        }
    } while (pauseBeforeRetry(error, attempt, true));
    return !error || isNotFound(error);
}

} // namespace

MarkFound readBackupMark(const Held& backupFolder)
{
    MarkFound found;
    std::error_code error;
    ListedEntry there;
    // A plain file at the temporary name is a write cut off before its rename: not looked at.
    if (describeChild(backupFolder, backupMarkTemporaryName, there, error)) {
        if (there.isLink() || there.isFolder()) {
            found.present = true;
            return found;
        }
    } else if (!isNotFound(error)) {
        found.present = true;
        return found;
    }
    if (describeChild(backupFolder, backupMarkName, there, error)) {
        found.present = true;
        found.mark = readMark(backupFolder, there);
    } else if (!isNotFound(error)) {
        found.present = true; // something stands there that cannot be looked at: no mark
    }
    return found;
}

std::optional<BackupMark> readBackupMark(const std::wstring& backupFolder)
{
    std::error_code error;
    const Held folder = openFolder(backupFolder, Access::read, error);
    return error ? std::nullopt : readBackupMark(folder).mark;
}

bool writeBackupMark(const Held& backupFolder, const std::wstring& folderPath, const BackupMark& mark)
{
    if (!removeIfThere(backupFolder, backupMarkTemporaryName)) { // left by a write that was cut off
        return false;
    }
    const std::string text = formatBackupMark(mark);
    std::error_code error;
    bool written = false;
    {
        const Held file = createChild(backupFolder, backupMarkTemporaryName, false, error);
        DWORD count = 0;
        written = !error && WriteFile(file.handle.get(), text.data(), static_cast<DWORD>(text.size()), &count, nullptr)
            && count == text.size() && FlushFileBuffers(file.handle.get());
    }
    int attempt = 0;
    do {
        if (written) {
            renameChild(backupFolder, folderPath, backupMarkTemporaryName, backupMarkName, error);
        }
    } while (written && pauseBeforeRetry(error, attempt, true));
    if (!written || error) {
        removeIfThere(backupFolder, backupMarkTemporaryName);
        return false;
    }
    return true;
}

bool removeBackupMark(const Held& backupFolder)
{
    return removeIfThere(backupFolder, backupMarkName) && removeIfThere(backupFolder, backupMarkTemporaryName);
}

} // namespace quorila
