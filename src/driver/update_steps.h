#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/options.h"
#include "driver/exit_code.h"
#include "folders/backup_folder.h"
#include "folders/backup_mark.h"
#include "folders/folder_safety.h"
#include "folders/install_clearing.h"
#include "folders/tree_copy.h"
#include "fs/file_ops.h"
#include "log/update_log.h"

namespace quorila {

// A lock on a folder, held until its owner goes; empty when it was not taken.
using HeldLock = std::unique_ptr<void, void (*)(void*) noexcept>;

// Everything the preflight checks and the transaction do outside their own decisions, one entry a
// step: the log, the failure report, the checks on folders, rights and the release, the locks,
// the wait, the backup, clearing, copying, verifying and the restart. The updater's own set is
// made once, in its entry point, from the functions of the layers below; a test hands in a
// scripted set. Each entry keeps the contract of the function it stands for.
struct UpdateSteps {
    void (*logLine)(UpdateLog& log, std::wstring_view message);
    ExitCode (*reportFailure)(UpdateLog& log, ExitCode code);

    std::wstring (*ownExecutablePath)(std::error_code& error);
    std::optional<CheckedFolders> (*checkFolderSafety)(const UpdateOptions& options, const std::wstring& updaterPath);
    bool (*canWriteFolder)(const std::wstring& folder);
    bool (*isProcessElevated)();
    std::optional<int> (*relaunchElevated)(const UpdateOptions& options, UpdateLog& log);
    bool (*checkReleasePackage)(const std::wstring& releaseFolder, const std::wstring& exeName);

    HeldLock (*lockInstallFolder)(const FileId& install);
    HeldLock (*lockBackupFolder)(const std::wstring& backup);
    BackupFolderFinding (*inspectBackupFolder)(const std::wstring& backupFolder, const std::wstring& exeName);
    bool (*waitForApplicationExit)(std::uint32_t processId, UpdateLog& log);
    bool (*checkFolderSafetyAgain)(const UpdateOptions& options, const std::wstring& updaterPath,
                                   const CheckedFolders& before);
    bool (*isStillFolder)(const std::wstring& folder, const std::wstring& checked);
    bool (*emptyBackupFolder)(const std::wstring& backupFolder, const std::optional<FileId>& checked,
                              const FileId& install, UpdateLog& log);
    bool (*removeWholeFolder)(const std::wstring& folder, const std::optional<FileId>& checked, UpdateLog& log);
    bool (*startBackupFolder)(const std::wstring& backupFolder, const FileId& install, UpdateLog& log);
    bool (*writeBackupMark)(const std::wstring& backupFolder, const BackupMark& mark);
    bool (*clearInstallFolder)(const std::wstring& installFolder, const FileId& checkedInstall, UpdateLog& log,
                               AfterEntryNotRemoved after);
    bool (*copyTree)(const std::wstring& source, const std::wstring& destination, CopyOf what, UpdateLog& log);
    bool (*holdsExactly)(const std::wstring& install, const std::wstring& backup);
    bool (*verifyNewExecutable)(const std::wstring& path);
    bool (*restartApplication)(const std::wstring& executablePath, UpdateLog& log);
};

// A fixed text followed directly by a path, as one line.
inline void logLine(const UpdateSteps& steps, UpdateLog& log, std::wstring_view text, std::wstring_view value)
{
    std::wstring line(text);
    line += value;
    steps.logLine(log, line);
}

} // namespace quorila
