#pragma once

#include <optional>
#include <string>

#include "folders/backup_mark.h"
#include "folders/held_folders.h"
#include "log/update_log.h"

namespace quorila {

// What a --backup folder is, found before anything is written into it.
enum class BackupFolderKind {
    none,    // not there, or empty
    marked,  // holds a valid state file: a backup this updater made
    legacy,  // no state file, and an installation by the release's own rule (--exe a file, "data" a
             // folder, no link at its top): a backup made before there were state files
    foreign, // anything else (a folder of someone's files, a damaged state file, unreadable): not
             // the updater's to remove
};

struct BackupFolderFinding {
    BackupFolderKind kind = BackupFolderKind::none;
    std::optional<BackupMark> mark; // with `marked`
};

// What the held backup folder is (none when it is not there: `backup` empty).
BackupFolderFinding inspectBackupFolder(const Held& backup, const std::wstring& exeName);

// True when the backup holds a whole installation of the install folder `install` and an update
// over that folder was cut off: that backup is the last good installation and must be kept.
inline bool isUpdateUnderWay(const std::optional<BackupMark>& mark, const std::optional<FileId>& install)
{
    return mark && install && mark->state == BackupState::updating && mark->install == *install;
}

// Readies the backup folder for a new backup of `install`, marked as the updater's own and as a
// backup being made before anything is copied into it, so that a run cut off meanwhile leaves it
// recognisably the updater's. An existing (held) backup folder is emptied of everything but its
// state file; a missing one is made, level by level, each level created new below the held folder
// above it (an entry planted at its name, a link among them, fails the creation), and held from
// then on. True when the held backup folder holds only its state file; false after
// "Dosya silinemedi: " or "Klasör oluşturulamadı: " + folder (`backupPath`) otherwise.
bool readyBackupFolder(HeldFolders& folders, const std::wstring& backupPath, const FileId& install, UpdateLog& log);

} // namespace quorila
