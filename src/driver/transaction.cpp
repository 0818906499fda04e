#include "driver/transaction.h"

#include <string>

#include "driver/failure_report.h"
#include "driver/release_package.h"
#include "folders/folder_safety.h"
#include "folders/install_clearing.h"
#include "fs/path_grammar.h"
#include "folders/tree_copy.h"
#include "process/install_lock.h"
#include "process/relaunch.h"
#include "process/restart.h"
#include "process/wait.h"

namespace quorila {

namespace {

constexpr std::wstring_view backupLine = L"Mevcut Quorila sürümü yedekleniyor: ";
constexpr std::wstring_view installLine = L"Yeni release kuruluyor...";
constexpr std::wstring_view successLine = L"Güncelleme başarıyla uygulandı.";
constexpr std::wstring_view anotherUpdaterLine = L"Aynı kurulum klasöründe başka bir güncelleme çalışıyor.";

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

// Copies the backup back and starts the old version; the old version is running before the
// failure box appears (the elevated copy's: after it, started by the user's copy).
ExitCode rollBackAndReport(const UpdateOptions& options, const CheckedFolders& checked,
                           const std::wstring& executable, const RollbackCause& cause, UpdateLog& log)
{
    logLine(log, cause.line);
    if (!rollBack(options, checked, log)) {
        return reportFailure(log, cause.notRolledBack);
    }
    if (startsApplication(options)) {
        restartApplication(executable, log); // its own line tells whether the old version started
    }
    return reportFailure(log, cause.rolledBack);
}

} // namespace

bool rollBack(const UpdateOptions& options, const CheckedFolders& checked, UpdateLog& log)
{
    if (!checked.installId || !isStillFolder(options.installFolder, checked.install)) {
        return false; // another folder now: nothing is deleted or written there
    }
    clearInstallFolder(options.installFolder, *checked.installId, log); // what it leaves is overwritten or stays
    return copyTree(options.backupFolder, options.installFolder, CopyOf::backup, log);
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
    if (!waitForApplicationExit(pass.processId, log)) {
        return reportFailure(log, ExitCode::ApplicationNotClosed);
    }
    // Up to a minute has passed since the checks: a folder, or a folder above one, may have been
    // replaced (by a link to elsewhere) meanwhile.
    if (!checkFolderSafetyAgain(options, ownExecutablePath(), pass.folders)) {
        return reportFailure(log, ExitCode::UnsafeFolders);
    }

    logLine(log, backupLine, options.backupFolder);
    // The backup is an exact copy of the installation or nothing: left-overs of an older backup
    // would come back with a rollback.
    if (!removeWholeFolder(options.backupFolder, pass.folders.backupId, log)) {
        return reportFailure(log, ExitCode::BackupFailed);
    }
    // Removing a large old backup takes a while: the copy must still go where the check looked.
    if (!isStillFolder(options.backupFolder, pass.folders.backup)) {
        return reportFailure(log, ExitCode::UnsafeFolders);
    }
    if (!copyTree(options.installFolder, options.backupFolder, CopyOf::installation, log)) {
        return reportFailure(log, ExitCode::BackupFailed);
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
    if (startsApplication(options) && !restartApplication(executable, log)) {
        return reportFailure(log, ExitCode::RestartFailed);
    }
    return ExitCode::Success;
}

} // namespace quorila
