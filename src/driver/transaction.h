#pragma once

#include <cstdint>

#include "driver/exit_code.h"
#include "driver/options.h"
#include "log/update_log.h"

namespace quorila {

// Waits for the application, backs the install folder up, clears it, copies the release in,
// verifies and restarts; rolls back from the backup when clearing, copying or verifying fails.
// Returns 0 or 14 to 20 after every failure box has been closed. The backup folder stays.
ExitCode runUpdateTransaction(const UpdateOptions& options, std::uint32_t processId, UpdateLog& log);

// Clears the install folder (result ignored) and copies the backup back into it.
// True when the copy back succeeded.
bool rollBack(const UpdateOptions& options, UpdateLog& log);

} // namespace quorila
