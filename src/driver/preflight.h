#pragma once

#include <cstdint>
#include <variant>

#include "driver/exit_code.h"
#include "driver/options.h"
#include "log/update_log.h"

namespace quorila {

// Either the application's process id (go on with the transaction) or the code that ends the run.
using PreflightResult = std::variant<std::uint32_t, ExitCode>;

// Folder safety (11), write access with the elevated relaunch (0, 21) or 22, process id (12) and
// release package (13), in that order. Every failure has gone through reportFailure; nothing in
// the three folders has changed.
PreflightResult runPreflightChecks(const UpdateOptions& options, UpdateLog& log);

} // namespace quorila
