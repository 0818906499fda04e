// Telling the updater's own backup folder from any other folder a --backup option may name.

#include "folders/backup_folder.h"

#include <string_view>
#include <system_error>

#include "fs/file_ops.h"
#include "fs/held.h"
#include "fs/path_grammar.h"

namespace quorila {

namespace {

constexpr std::wstring_view entryNotRemovedLine = L"Dosya silinemedi: ";
constexpr std::wstring_view folderNotCreatedLine = L"Klasör oluşturulamadı: ";

} // namespace

BackupFolderFinding inspectBackupFolder(const std::wstring& backupFolder, const std::wstring& exeName)
{
    std::error_code error;
    const FileKind kind = fileKind(backupFolder, error);
    if (!error && kind == FileKind::missing) {
        return {};
    }
    if (auto mark = readBackupMark(backupFolder)) {
        return {BackupFolderKind::marked, mark};
    }
    // Empty but for a state file whose writing was cut off before its rename: empty.
    const Held folder = openFolder(backupFolder, Access::read, error);
    FolderEntries entries(folder);
    ListedEntry entry;
    bool empty = !error;
    while (empty && entries.next(entry, error)) {
        empty = entry.name == backupMarkTemporaryName;
    }
    if (empty && !error) {
        return {};
    }
    if (!error && isNameInsideFolder(exeName) && knownFileKind(joinPath(backupFolder, exeName)) == FileKind::file) {
        return {BackupFolderKind::legacy, std::nullopt};
    }
    return {BackupFolderKind::foreign, std::nullopt};
}

bool emptyBackupFolder(const std::wstring& backupFolder, const std::optional<FileId>& checked, const FileId& install,
                       UpdateLog& log)
{
    if (!checked) {
        return true; // not there when checked: its removal sees to one that appeared since
    }
    std::error_code error;
    if (writeBackupMark(backupFolder, {BackupState::incomplete, install})) {
        // Held from here on, and only the folder that was checked.
        const Held folder = openFolder(backupFolder, Access::read, error);
        if (!error && heldId(folder, error) != checked) {
            error = error ? error : notItself();
        }
        FolderEntries entries(folder);
        ListedEntry entry;
        while (!error && entries.next(entry, error)) {
            if (!isBackupMarkEntry(entry.name)) {
                removeChild(folder, entry, error);
            }
        }
        if (!error) {
            return true;
        }
    }
    logLine(log, entryNotRemovedLine, backupFolder);
    return false;
}

bool startBackupFolder(const std::wstring& backupFolder, const FileId& install, UpdateLog& log)
{
    std::error_code error;
    createFolders(backupFolder, error);
    if (error) {
        logLine(log, folderNotCreatedLine, backupFolder);
        return false;
    }
    return writeBackupMark(backupFolder, {BackupState::incomplete, install});
}

} // namespace quorila
