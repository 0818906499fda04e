// QuorilaUpdater: replaces the Quorila installation with a prepared release.
// The Quorila application starts it with --pid --source --target --backup --exe --log and exits.

#include <windows.h>

#include "base/command_line.h"
#include "base/options.h"
#include "driver/exit_code.h"
#include "driver/failure_report.h"
#include "driver/option_paths.h"
#include "driver/preflight.h"
#include "driver/release_package.h"
#include "driver/transaction.h"
#include "driver/update_steps.h"
#include "folders/backup_folder.h"
#include "folders/backup_mark.h"
#include "folders/folder_safety.h"
#include "folders/held_folders.h"
#include "folders/install_clearing.h"
#include "folders/tree_copy.h"
#include "folders/tree_match.h"
#include "log/update_log.h"
#include "process/elevation.h"
#include "process/own_executable.h"
#include "process/relaunch.h"
#include "process/restart.h"
#include "process/update_lock.h"
#include "process/wait.h"
#include "process/working_folder.h"
#include "process/write_access.h"

namespace quorila {
namespace {

constexpr std::wstring_view startedLine = L"QuorilaUpdater başlatıldı.";

// A lock handle as the steps hold it: closed when its owner goes.
HeldLock heldLock(UniqueHandle lock)
{
    return HeldLock(lock ? lock.release() : nullptr, closeHandle);
}

// The updater's own steps: the functions of the layers below, each as it is.
UpdateSteps realSteps()
{
    return {
        .logLine = [](UpdateLog& log, std::wstring_view message) { logLine(log, message); },
        .reportFailure = [](UpdateLog& log, ExitCode code) { return reportFailure(log, code); },
        .ownExecutablePath = ownExecutablePath,
        .checkFolderSafety = checkFolderSafety,
        .canWriteFolder = canWriteFolder,
        .isProcessElevated = isProcessElevated,
        .relaunchElevated = relaunchElevated,
        .holdFolders = holdFolders,
        .checkReleasePackage = checkReleasePackage,
        .lockInstallFolder = [](const FileId& install) { return heldLock(lockInstallFolder(install)); },
        .lockBackupFolder = [](const std::wstring& backup) { return heldLock(lockBackupFolder(backup)); },
        .inspectBackupFolder = inspectBackupFolder,
        .waitForApplicationExit = waitForApplicationExit,
        .checkFolderSafetyAgain = checkFolderSafetyAgain,
        .readyBackupFolder = readyBackupFolder,
        .writeBackupMark = writeBackupMark,
        .removeBackupMark = removeBackupMark,
        .clearInstallFolder = clearInstallFolder,
        .copyTree = copyTree,
        .holdsExactly = holdsExactly,
        .verifyNewExecutable = verifyNewExecutable,
        .restartApplication = restartApplication,
    };
}

ExitCode runUpdater()
{
    const auto tokens = splitProcessCommandLine();
    const UpdateOptions given = readUpdateOptions(tokens ? pairOptionTokens(*tokens) : OptionMap{});
    if (!hasAllOptions(given)) {
        // Before the log exists: the box alone, nothing created on disk.
        showErrorBox(exitCodeMessage(ExitCode::MissingParameters), ErrorBoxStyle::IconOnly);
        return ExitCode::MissingParameters;
    }
    // Relative options are read against the folder the process was started in, once; then the
    // process leaves that folder, which may lie in the installation (the application's own current
    // folder, inherited), where it would stop the folder's removal. Should it stay (the system
    // folder unreadable), the clearing reports that folder as one it cannot remove.
    const UpdateOptions options = withFullPaths(given);
    leaveWorkingFolder();

    // A log that folder safety will refuse is not even opened: opening it would create it (and its
    // folders) where nothing may be touched. The refusal then shows its box without a log.
    UpdateLog log = isLogOutsideFolders(options) ? openUpdateLog(options.logPath) : UpdateLog{};
    if (log.throughLink) {
        // It would be written elsewhere: refused like any unsafe folder, nothing touched.
        return reportFailure(log, ExitCode::UnsafeFolders);
    }
    logLine(log, startedLine);

    const UpdateSteps steps = realSteps();
    PreflightResult preflight = runPreflightChecks(steps, options, log);
    const ExitCode code =
        preflight.endedWith ? *preflight.endedWith : runUpdateTransaction(steps, options, preflight.pass, log);

    closeUpdateLog(log);
    return code;
}

} // namespace
} // namespace quorila

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return static_cast<int>(quorila::runUpdater());
}
