#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "fs/file_ops.h"
#include "fs/held.h"

// The backup folder's own state file: it marks the folder as a backup this updater made, says
// how far the backup and the update over it have come, and names the install folder it belongs
// to. It is written whole under a temporary name and then renamed over the old one, so that a
// write cut off halfway never leaves half a state.

namespace quorila {

// The state file's name inside the backup folder, and the temporary name it is written under.
// No installation holds either; no copy carries them into or out of an installation.
inline constexpr std::wstring_view backupMarkName = L".QuorilaUpdater-backup";
inline constexpr std::wstring_view backupMarkTemporaryName = L".QuorilaUpdater-backup.new";

// True when `relative` (a path below the backup folder) is the state file or its temporary name.
bool isBackupMarkEntry(std::wstring_view relative);

enum class BackupState {
    incomplete, // being made: the install folder is untouched, the backup is not yet whole
    updating,   // whole, and an update is under way over the install folder: the last good copy
    complete,   // whole, and the last run ended with the install folder in a known state
};

struct BackupMark {
    BackupState state = BackupState::incomplete;
    FileId install; // the install folder it is the backup of
    friend bool operator==(const BackupMark&, const BackupMark&) = default;
};

// The state file's content (ASCII lines, CR LF), and its reading: nothing unless the text is
// exactly what formatBackupMark writes for some mark.
std::string formatBackupMark(const BackupMark& mark);
std::optional<BackupMark> parseBackupMark(std::string_view text);

// What stands at the state file's name in a backup folder.
struct MarkFound {
    bool present = false;           // an entry of the state file's name (or its temporary one) is there
    std::optional<BackupMark> mark; // it is a valid mark
};

// The mark of the held `backupFolder`. An entry of the state file's name that is a link, a folder,
// a file with more than one name, unreadable, too long or of any content but a mark is present
// and no mark; so is anything at the temporary name but a plain file (a write cut off before its
// rename leaves one, and the state file is then the one before).
MarkFound readBackupMark(const Held& backupFolder);

// The mark of the folder at `backupFolder`, when it is there and holds a valid one.
std::optional<BackupMark> readBackupMark(const std::wstring& backupFolder);

// Writes the mark into the held `backupFolder` (at `folderPath`): a new file under the temporary
// name (a stale one removed first, as itself), flushed, then renamed over the state file. Faults
// that pass (a scanner holding the file a moment) are waited out for about two seconds. False
// when any step fails; the state file is then the old one or none.
bool writeBackupMark(const Held& backupFolder, const std::wstring& folderPath, const BackupMark& mark);

// Removes the state file (and a temporary one) from the held `backupFolder`, as themselves. True
// when neither is left.
bool removeBackupMark(const Held& backupFolder);

} // namespace quorila
