#pragma once

#include <cstdint>

#include "log/update_log.h"

namespace quorila {

// Waits at most 60 s for the process to end. True when it ended or could not be opened (taken as
// gone); false on time-out or a failed wait. Logs one or two lines.
bool waitForApplicationExit(std::uint32_t processId, UpdateLog& log);

} // namespace quorila
