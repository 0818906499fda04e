#include "driver/transaction.h"

#include <optional>
#include <string>

#include "fs/path_grammar.h"

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

// The backup is whole and the install folder in a known state: the next run may replace the
// backup. Should the mark not be written (a scanner holding the state file beyond the retries),
// the backup must not stay marked as the last good copy of an update cut off: the next run would
// keep it, the version before, over the installation now in place. Without its mark it is an old
// backup of an installation, which the next run replaces.
void markBackupComplete(const UpdateSteps& steps, const UpdateOptions& options, const PreflightPass& pass)
{
    if (!steps.writeBackupMark(pass.held.backup, options.backupFolder,
                               {BackupState::complete, *pass.folders.installId})) {
        steps.removeBackupMark(pass.held.backup);
    }
}

// Copies the backup back and starts the old version; the old version is running before the
// failure box appears. The elevated copy shows no box here: the user's copy starts the old
// version, then shows it.
ExitCode rollBackAndReport(const UpdateSteps& steps, const UpdateOptions& options, const PreflightPass& pass,
                           const std::wstring& executable, const RollbackCause& cause, UpdateLog& log)
{
    steps.logLine(log, cause.line);
    if (!rollBack(steps, options, pass, log)) {
        return steps.reportFailure(log, cause.notRolledBack); // the backup stays marked as the one to keep
    }
    markBackupComplete(steps, options, pass);
    if (!startsApplication(options)) {
        return cause.rolledBack;
    }
    steps.restartApplication(executable, log); // its own line tells whether the old version started
    return steps.reportFailure(log, cause.rolledBack);
}

// Replaces the backup folder's content with an exact copy of the installation, marked as the
// updater's own before anything is copied and as whole once it is. The code that ends the run
// when it fails (the install folder untouched).
std::optional<ExitCode> makeBackup(const UpdateSteps& steps, const UpdateOptions& options, PreflightPass& pass,
                                   UpdateLog& log)
{
    logLine(steps, log, backupLine, options.backupFolder);
    // The backup is an exact copy of the installation or nothing: left-overs of an older backup
    // would come back with a rollback. The folder itself stays (held), never removed and made
    // again: its name is never free for another entry to take.
    const FileId install = *pass.folders.installId;
    HeldFolders& held = pass.held;
    if (!steps.readyBackupFolder(held, options.backupFolder, install, log)
        || !steps.copyTree(held.install, options.installFolder, held.backup, options.backupFolder,
                           CopyOf::installation, log)
        || !steps.writeBackupMark(held.backup, options.backupFolder, {BackupState::updating, install})) {
        return ExitCode::BackupFailed;
    }
    return std::nullopt;
}

// The backup is whole: clears the install folder, copies the release in, verifies and restarts;
// rolls back from the backup when clearing, copying or verifying fails.
ExitCode installRelease(const UpdateSteps& steps, const UpdateOptions& options, const PreflightPass& pass,
                        UpdateLog& log)
{
    const HeldFolders& held = pass.held;
    const std::wstring executable = joinPath(options.installFolder, options.exeName);
    steps.logLine(log, installLine);
    if (!steps.clearInstallFolder(held.install, options.installFolder, log, AfterEntryNotRemoved::stop)
        || !steps.copyTree(held.release, options.releaseFolder, held.install, options.installFolder, CopyOf::release,
                           log)) {
        return rollBackAndReport(steps, options, pass, executable, installFailed, log);
    }
    if (!steps.verifyNewExecutable(held.install, options.exeName)) {
        return rollBackAndReport(steps, options, pass, executable, verificationFailed, log);
    }

    steps.logLine(log, successLine);
    markBackupComplete(steps, options, pass);
    // Started by its path: the install folder is held without delete sharing, so the path still
    // reaches the folder the release was copied into.
    if (startsApplication(options) && !steps.restartApplication(executable, log)) {
        return steps.reportFailure(log, ExitCode::RestartFailed);
    }
    return ExitCode::Success;
}

} // namespace

bool rollBack(const UpdateSteps& steps, const UpdateOptions& options, const PreflightPass& pass, UpdateLog& log)
{
    // Goes on past what it cannot remove; the copy back goes on past what it cannot replace, and
    // the rollback counts only when the install folder holds exactly the backup.
    const HeldFolders& held = pass.held;
    steps.clearInstallFolder(held.install, options.installFolder, log, AfterEntryNotRemoved::goOn);
    return steps.copyTree(held.backup, options.backupFolder, held.install, options.installFolder, CopyOf::backup, log)
        && steps.holdsExactly(held.install, held.backup);
}

ExitCode runUpdateTransaction(const UpdateSteps& steps, const UpdateOptions& options, PreflightPass& pass,
                              UpdateLog& log)
{
    // One updater per install folder: a second one, started while this one waits or works, would
    // take its backup from a half-replaced installation and clear what this one restores.
    // (Held, the install folder's identity is known.)
    const HeldLock lock = steps.lockInstallFolder(*pass.folders.installId);
    if (!lock) {
        steps.logLine(log, anotherUpdaterLine);
        return steps.reportFailure(log, ExitCode::UnsafeFolders);
    }
    // One updater per backup folder too: two installations given one backup folder would
    // otherwise remove each other's backups and restore each other's files.
    const HeldLock backupLock = steps.lockBackupFolder(pass.folders.backup);
    if (!backupLock) {
        steps.logLine(log, backupInUseLine);
        return steps.reportFailure(log, ExitCode::UnsafeFolders);
    }
    // Only the updater's own backup is removed. One whose update was cut off is this install
    // folder's last good installation (kept, and the update goes on over it) or another's (left).
    const BackupFolderFinding found = steps.inspectBackupFolder(pass.held.backup, options.exeName);
    const bool resuming = isUpdateUnderWay(found.mark, pass.folders.installId);
    if (found.kind == BackupFolderKind::foreign
        || (found.mark && found.mark->state == BackupState::updating && !resuming)) {
        logLine(steps, log, notABackupLine, options.backupFolder);
        return steps.reportFailure(log, ExitCode::UnsafeFolders);
    }
    if (!steps.waitForApplicationExit(pass.processId, log)) {
        return steps.reportFailure(log, ExitCode::ApplicationNotClosed);
    }
    // Up to a minute has passed since the checks: the paths, or a folder above one, may have been
    // changed meanwhile. The held folders are what the run acts on; the paths must still name them.
    std::error_code unknown;
    const std::wstring updaterPath = steps.ownExecutablePath(unknown);
    if (unknown || !steps.checkFolderSafetyAgain(options, updaterPath, pass.folders)) {
        return steps.reportFailure(log, ExitCode::UnsafeFolders);
    }

    if (resuming) {
        steps.logLine(log, interruptedLine);
    } else if (const auto failed = makeBackup(steps, options, pass, log)) {
        return steps.reportFailure(log, *failed);
    }

    return installRelease(steps, options, pass, log);
}

} // namespace quorila
