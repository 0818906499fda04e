#include "driver/transaction.h"

#include <optional>
#include <string>

#include "driver/failure_report.h"
#include "driver/release_package.h"
#include "folders/backup_folder.h"
#include "folders/backup_mark.h"
#include "folders/folder_safety.h"
#include "folders/install_clearing.h"
#include "folders/tree_copy.h"
#include "folders/tree_match.h"
#include "fs/path_grammar.h"
#include "process/relaunch.h"
#include "process/restart.h"
#include "process/update_lock.h"
#include "process/wait.h"

namespace quorila {

namespace {

constexpr std::wstring_view backupLine = L"Mevcut Quorila sürümü yedekleniyor: ";
constexpr std::wstring_view installLine = L"Yeni release kuruluyor...";
constexpr std::wstring_view successLine = L"Güncelleme başarıyla uygulandı.";
constexpr std::wstring_view anotherUpdaterLine = L"Aynı kurulum klasöründe başka bir güncelleme çalışıyor.";
constexpr std::wstring_view backupInUseLine = L"Aynı yedek klasörünü kullanan başka bir güncelleme çalışıyor.";
constexpr std::wstring_view notABackupLine = L"Yedek klasörü bir Quorila yedeği değil: ";
constexpr std::wstring_view interruptedLine = L"Önceki güncelleme yarıda kalmış; mevcut yedek korunuyor.";

// Why a rollback starts: its announcement line and the codes of its two outcomes.
struct RollbackCause {
    std::wstring_view line;
    ExitCode rolledBack;
    ExitCode notRolledBack;
};
constexpr RollbackCause installFailed{L"Kurulum başarısız; rollback başlıyor.", ExitCode::InstallFailedRolledBack,
                                      ExitCode::InstallFailedRollbackFailed};
constexpr RollbackCause verificationFailed{
    L"Yeni executable doğrulanamadı; rollback başlıyor.",
    ExitCode::VerificationFailedRolledBack, ExitCode::VerificationFailedRollbackFailed};

// The application runs with the rights of the user who started the update: the elevated copy leaves
// its start to the user's copy, which waits for it.
bool startsApplication(const UpdateOptions& options)
{
    return !options.elevatedCopy;
}

// The backup is whole and the install folder in a known state (updated, or exactly the backup
// again): the next run may replace the backup. Should this write fail, the next run takes the
// backup for one whose update was cut off and keeps it, which loses nothing.
void markBackupComplete(const UpdateOptions& options, const CheckedFolders& checked)
{
    writeBackupMark(options.backupFolder, {BackupState::complete, *checked.installId});
}

// Copies the backup back and starts the old version; the old version is running before the
// failure box appears (the elevated copy's: after it, started by the user's copy).
ExitCode rollBackAndReport(const UpdateOptions& options, const CheckedFolders& checked,
                           const std::wstring& executable, const RollbackCause& cause, UpdateLog& log)
{
    logLine(log, cause.line);
    if (!rollBack(options, checked, log)) {
        return reportFailure(log, cause.notRolledBack); // the backup stays marked as the one to keep
    }
    markBackupComplete(options, checked);
    if (startsApplication(options)) {
        restartApplication(executable, log); // its own line tells whether the old version started
    }
    return reportFailure(log, cause.rolledBack);
}

// Replaces the backup folder's content with an exact copy of the installation, marked as the
// updater's own before anything is copied and as whole once it is. The code that ends the run
// when it fails (the install folder untouched).
std::optional<ExitCode> makeBackup(const UpdateOptions& options, const CheckedFolders& checked, UpdateLog& log)
{
    logLine(log, backupLine, options.backupFolder);
    // The backup is an exact copy of the installation or nothing: left-overs of an older backup
    // would come back with a rollback.
    if (!emptyBackupFolder(options.backupFolder, checked.backupId, *checked.installId, log)
        || !removeWholeFolder(options.backupFolder, checked.backupId, log)) {
        return ExitCode::BackupFailed;
    }
    // Removing a large old backup takes a while: the copy must still go where the check looked.
    if (!isStillFolder(options.backupFolder, checked.backup)) {
        return ExitCode::UnsafeFolders;
    }
    if (!startBackupFolder(options.backupFolder, *checked.installId, log)
        || !copyTree(options.installFolder, options.backupFolder, CopyOf::installation, log)
        || !writeBackupMark(options.backupFolder, {BackupState::updating, *checked.installId})) {
        return ExitCode::BackupFailed;
    }
    return std::nullopt;
}

} // namespace

bool rollBack(const UpdateOptions& options, const CheckedFolders& checked, UpdateLog& log)
{
    if (!checked.installId || !isStillFolder(options.installFolder, checked.install)) {
        return false; // another folder now: nothing is deleted or written there
    }
    // Goes on past what it cannot remove; the copy back overwrites what is the backup's too, and
    // the rollback counts only when nothing else is left.
    clearInstallFolder(options.installFolder, *checked.installId, log, AfterEntryNotRemoved::goOn);
    return copyTree(options.backupFolder, options.installFolder, CopyOf::backup, log)
        && holdsExactly(options.installFolder, options.backupFolder);
}

ExitCode runUpdateTransaction(const UpdateOptions& options, const PreflightPass& pass, UpdateLog& log)
{
    // One updater per install folder: a second one, started while this one waits or works, would
    // take its backup from a half-replaced installation and clear what this one restores.
    // (The install folder is there: this process could write into it.)
    const UniqueHandle lock =
        pass.folders.installId ? lockInstallFolder(*pass.folders.installId) : UniqueHandle();
    if (!lock) {
        logLine(log, anotherUpdaterLine);
        return reportFailure(log, ExitCode::UnsafeFolders);
    }
    // One updater per backup folder too: two installations given one backup folder would
    // otherwise remove each other's backups and restore each other's files.
    const UniqueHandle backupLock = lockBackupFolder(pass.folders.backup);
    if (!backupLock) {
        logLine(log, backupInUseLine);
        return reportFailure(log, ExitCode::UnsafeFolders);
    }
    // Only the updater's own backup is removed. One whose update was cut off is this install
    // folder's last good installation (kept, and the update goes on over it) or another's (left).
    const BackupFolderFinding found = inspectBackupFolder(options.backupFolder, options.exeName);
    const bool resuming = isUpdateUnderWay(found.mark, pass.folders.installId);
    if (found.kind == BackupFolderKind::foreign
        || (found.mark && found.mark->state == BackupState::updating && !resuming)) {
        logLine(log, notABackupLine, options.backupFolder);
        return reportFailure(log, ExitCode::UnsafeFolders);
    }
    if (!waitForApplicationExit(pass.processId, log)) {
        return reportFailure(log, ExitCode::ApplicationNotClosed);
    }
    // Up to a minute has passed since the checks: a folder, or a folder above one, may have been
    // replaced (by a link to elsewhere) meanwhile.
    if (!checkFolderSafetyAgain(options, ownExecutablePath(), pass.folders)) {
        return reportFailure(log, ExitCode::UnsafeFolders);
    }

    if (resuming) {
        logLine(log, interruptedLine);
    } else if (const auto failed = makeBackup(options, pass.folders, log)) {
        return reportFailure(log, *failed);
    }

    if (!isStillFolder(options.installFolder, pass.folders.install)) {
        return reportFailure(log, ExitCode::UnsafeFolders);
    }
    const std::wstring executable = joinPath(options.installFolder, options.exeName);
    logLine(log, installLine);
    if (!clearInstallFolder(options.installFolder, *pass.folders.installId, log)
        || !copyTree(options.releaseFolder, options.installFolder, CopyOf::release, log)) {
        return rollBackAndReport(options, pass.folders, executable, installFailed, log);
    }
    if (!verifyNewExecutable(executable)) {
        return rollBackAndReport(options, pass.folders, executable, verificationFailed, log);
    }

    logLine(log, successLine);
    markBackupComplete(options, pass.folders);
    if (startsApplication(options) && !restartApplication(executable, log)) {
        return reportFailure(log, ExitCode::RestartFailed);
    }
    return ExitCode::Success;
}

} // namespace quorila
