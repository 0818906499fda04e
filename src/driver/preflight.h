#pragma once

#include <cstdint>
#include <variant>

#include "driver/exit_code.h"
#include "driver/options.h"
#include "folders/folder_safety.h"
#include "log/update_log.h"

namespace quorila {

// What the checks hand on to the transaction: the application's process id and the folders as
// they were checked.
struct PreflightPass {
    std::uint32_t processId = 0;
    CheckedFolders folders;
};

// Either a pass (go on with the transaction) or the code that ends the run.
using PreflightResult = std::variant<PreflightPass, ExitCode>;

// Folder safety (11), write access with the elevated relaunch (0, 21) or 22, process id (12) and
// release package (13), in that order. Every failure has gone through reportFailure; nothing in
// the three folders has changed.
PreflightResult runPreflightChecks(const UpdateOptions& options, UpdateLog& log);

} // namespace quorila
