#pragma once

#include <cstdint>

#include "log/update_log.h"

namespace quorila {

// Waits at most 60 s for the process to end. True when it ended or no process has the id; false on
// time-out or a failed wait. A process that exists but may not be waited on (access denied) is
// waited for all the same, by asking whether it still runs. Logs one or two lines.
bool waitForApplicationExit(std::uint32_t processId, UpdateLog& log);

} // namespace quorila
