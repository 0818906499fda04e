#pragma once

#include <cstdint>
#include <optional>

#include "base/options.h"
#include "driver/exit_code.h"
#include "folders/folder_safety.h"
#include "log/update_log.h"

namespace quorila {

// What the checks hand on to the transaction: the application's process id and the folders as
// they were checked.
struct PreflightPass {
    std::uint32_t processId = 0;
    CheckedFolders folders;
};

// The checks' answer: the code that ends the run here, or (none) the pass the transaction goes on
// with.
struct PreflightResult {
    std::optional<ExitCode> endedWith = std::nullopt;
    PreflightPass pass = {};
};

// Folder safety (UnsafeFolders), write access with the elevated relaunch (Success once the
// elevated copy runs, ElevationFailed) or NotWritableWhileElevated, process id (InvalidProcessId)
// and release package (IncompleteReleasePackage), in that order. Every failure has gone through
// reportFailure; nothing in the three folders has changed.
PreflightResult runPreflightChecks(const UpdateOptions& options, UpdateLog& log);

} // namespace quorila
