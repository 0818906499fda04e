#pragma once

#include "base/options.h"
#include "driver/exit_code.h"
#include "driver/preflight.h"
#include "driver/update_steps.h"
#include "log/update_log.h"

namespace quorila {

// Takes the install folder's lock (UnsafeFolders when another updater holds it), waits for the
// application, checks the folders again (UnsafeFolders when they no longer pass or are no longer
// the folders checked), replaces the backup with an exact copy of the installation, clears the
// install folder, copies the release in, verifies and restarts (the elevated copy starts nothing:
// the user's copy does); rolls back from the backup when clearing, copying or verifying fails.
// Returns Success, UnsafeFolders or ApplicationNotClosed to
// RestartFailed after every failure box has been closed. The backup folder stays. Everything
// beyond its own decisions goes through `steps`.
ExitCode runUpdateTransaction(const UpdateSteps& steps, const UpdateOptions& options, PreflightPass& pass,
                              UpdateLog& log);

// Clears the held install folder (result ignored) and copies the held backup back into it. True
// when the install folder then holds exactly the backup.
bool rollBack(const UpdateSteps& steps, const UpdateOptions& options, const PreflightPass& pass, UpdateLog& log);

} // namespace quorila
