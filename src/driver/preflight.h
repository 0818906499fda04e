#pragma once

#include <cstdint>
#include <optional>

#include "base/options.h"
#include "driver/exit_code.h"
#include "driver/update_steps.h"
#include "folders/folder_safety.h"
#include "folders/held_folders.h"
#include "log/update_log.h"

namespace quorila {

// What the checks hand on to the transaction: the application's process id, the folders as they
// were checked, and the folders themselves, held since then.
struct PreflightPass {
    std::uint32_t processId = 0;
    CheckedFolders folders;
    HeldFolders held;
};

// The checks' answer: the code that ends the run here, or (none) the pass the transaction goes on
// with.
struct PreflightResult {
    std::optional<ExitCode> endedWith = std::nullopt;
    PreflightPass pass = {};
};

// Folder safety (UnsafeFolders), write access with the elevated relaunch or
// NotWritableWhileElevated, the folders held as checked (UnsafeFolders when one is no longer the
// folder checked, or the install folder cannot be held), process id (InvalidProcessId) and release
// package (IncompleteReleasePackage), in that order. Every failure has gone through reportFailure; nothing
// in the three folders has changed. After a relaunch the run ends with the elevated copy's code
// once it has ended, this process having started the application where the copy left a version in
// place (RestartFailed when that fails after a successful update) and shown the box of a rollback
// after that start; ElevationFailed when the copy could not be started, its end cannot be known or
// it ended with a code the updater does not end with. Everything beyond its own decisions goes
// through `steps`.
PreflightResult runPreflightChecks(const UpdateSteps& steps, const UpdateOptions& options, UpdateLog& log);

} // namespace quorila
