#pragma once

#include <optional>
#include <string>

#include "folders/backup_mark.h"
#include "log/update_log.h"

namespace quorila {

// What a --backup folder is, found before anything is written into it.
enum class BackupFolderKind {
    none,    // not there, or empty
    marked,  // holds a state file: a backup this updater made
    legacy,  // no state file but --exe as a file: a backup made before there was one
    foreign, // anything else (a folder of someone's files, unreadable): not the updater's to remove
};

struct BackupFolderFinding {
    BackupFolderKind kind = BackupFolderKind::none;
    std::optional<BackupMark> mark; // with `marked`
};

BackupFolderFinding inspectBackupFolder(const std::wstring& backupFolder, const std::wstring& exeName);

// True when the backup holds a whole installation of the install folder `install` and an update
// over that folder was cut off: that backup is the last good installation and must be kept.
inline bool isUpdateUnderWay(const std::optional<BackupMark>& mark, const std::optional<FileId>& install)
{
    return mark && install && mark->state == BackupState::updating && mark->install == *install;
}

// Empties an existing backup folder (still the folder `checked` identifies) so that a run cut off
// meanwhile leaves it recognisably the updater's: it is first marked as a backup of `install`
// being made, then everything in it but the state file is removed. True when only that is left
// (or the folder was not there); false after "Dosya silinemedi: " + folder otherwise.
bool emptyBackupFolder(const std::wstring& backupFolder, const std::optional<FileId>& checked, const FileId& install,
                       UpdateLog& log);

// Creates the (emptied or missing) backup folder and marks it as the updater's own, a backup of
// `install` being made, before anything is copied into it. False after "Klasör oluşturulamadı: "
// + folder when it cannot be made; false without a line when it cannot be marked.
bool startBackupFolder(const std::wstring& backupFolder, const FileId& install, UpdateLog& log);

} // namespace quorila
