// Telling the updater's own backup folder from any other folder a --backup option may name, and
// readying it for a new backup.

#include "folders/backup_folder.h"

#include <string_view>
#include <system_error>

#include "folders/log_texts.h"
#include "fs/file_ops.h"
#include "fs/held.h"
#include "fs/path_grammar.h"

namespace quorila {

namespace {

// True when the held folder looks like an installation by the release package's own rule and
// holds no link at its top level.
bool isInstallation(const Held& folder, const std::wstring& exeName)
{
    std::error_code error;
    FolderEntries entries(folder);
    ListedEntry entry;
    while (entries.next(entry, error)) {
        ListedEntry itself;
        if (entry.isLink() || !describeChild(folder, entry.name, itself, error) || itself.isLink()) {
            return false;
        }
    }
    return !error && isNameInsideFolder(exeName) && kindBelow(folder, exeName, error) == FileKind::file && !error
        && kindBelow(folder, L"data", error) == FileKind::folder && !error;
}

// The held backup folder emptied of everything but its state file, marked as a backup of
// `install` being made first.
bool empty(const Held& backup, const std::wstring& backupPath, const FileId& install)
{
    if (!writeBackupMark(backup, backupPath, {BackupState::incomplete, install})) {
        return false;
    }
    std::error_code error;
    std::error_code first;
    FolderEntries entries(backup);
    ListedEntry entry;
    while (entries.next(entry, error)) {
        if (!isBackupMarkEntry(entry.name)) {
            removeChild(backup, entry, error);
            keepFirstError(first, error);
        }
    }
    keepFirstError(first, error);
    return !first;
}

// The missing backup folder made below the held folder above it, level by level, each new.
Held make(const HeldFolders& folders, std::error_code& error)
{
    Held level;
    everyElement(folders.backupRest, [&](std::wstring_view name, bool) {
        if (!name.empty()) {
            level = createChild(level.handle ? level : folders.backupBase, name, true, error);
        }
        return !error;
    });
    return error ? Held{} : std::move(level);
}

} // namespace

BackupFolderFinding inspectBackupFolder(const Held& backup, const std::wstring& exeName)
{
    if (!backup.handle) {
        return {};
    }
    const MarkFound found = readBackupMark(backup);
    if (found.mark) {
        return {BackupFolderKind::marked, found.mark};
    }
    if (found.present) {
        return {BackupFolderKind::foreign, std::nullopt};
    }
    // Empty but for a state file whose writing was cut off before its rename: empty.
    std::error_code error;
    FolderEntries entries(backup);
    ListedEntry entry;
    bool empty = true;
    while (empty && entries.next(entry, error)) {
        empty = entry.name == backupMarkTemporaryName;
    }
    if (empty && !error) {
        return {};
    }
    return {!error && isInstallation(backup, exeName) ? BackupFolderKind::legacy : BackupFolderKind::foreign,
            std::nullopt};
}

bool readyBackupFolder(HeldFolders& folders, const std::wstring& backupPath, const FileId& install, UpdateLog& log)
{
    if (folders.backup.handle) {
        if (empty(folders.backup, backupPath, install)) {
            return true;
        }
        logLine(log, entryNotRemovedLine, backupPath);
        return false;
    }
    std::error_code error;
    folders.backup = make(folders, error);
    if (error || !folders.backup.handle) {
        logLine(log, folderNotCreatedLine, backupPath);
        return false;
    }
    return writeBackupMark(folders.backup, backupPath, {BackupState::incomplete, install});
}

} // namespace quorila
