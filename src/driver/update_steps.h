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
#include "folders/held_folders.h"
#include "folders/install_clearing.h"
#include "folders/tree_copy.h"
#include "folders/tree_match.h"
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
    std::optional<HeldFolders> (*holdFolders)(const CheckedFolders& checked);
    bool (*checkReleasePackage)(const Held& release, const std::wstring& exeName);

    HeldLock (*lockInstallFolder)(const FileId& install);
    HeldLock (*lockBackupFolder)(const std::wstring& backup);
    BackupFolderFinding (*inspectBackupFolder)(const Held& backup, const std::wstring& exeName);
    bool (*waitForApplicationExit)(std::uint32_t processId, UpdateLog& log);
    bool (*checkFolderSafetyAgain)(const UpdateOptions& options, const std::wstring& updaterPath,
                                   const CheckedFolders& before);
    bool (*readyBackupFolder)(HeldFolders& folders, const std::wstring& backupPath, const FileId& install,
                              UpdateLog& log);
    bool (*writeBackupMark)(const Held& backup, const std::wstring& backupPath, const BackupMark& mark);
    bool (*removeBackupMark)(const Held& backup);
    bool (*clearInstallFolder)(const Held& install, const std::wstring& installPath, UpdateLog& log,
                               AfterEntryNotRemoved after);
    bool (*copyTree)(const Held& source, const std::wstring& sourcePath, const Held& destination,
                     const std::wstring& destinationPath, CopyOf what, UpdateLog& log);
    bool (*holdsExactly)(const Held& install, const Held& backup);
    bool (*verifyNewExecutable)(const Held& install, const std::wstring& exeName);
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
