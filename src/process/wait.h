#pragma once

#include <cstdint>

#include "log/update_log.h"

namespace quorila {

// Waits at most 60 s for the process to end. True when it ended or no process has the id; false on
// time-out or a failed wait. A process that exists but may not be waited on (access denied) is
// waited for all the same, by asking whether it still runs. Logs one or two lines.
bool waitForApplicationExit(std::uint32_t processId, UpdateLog& log);

// The wait for a process this one may not wait on (another user's, or one with higher rights), open
// to the tests: asks every 50 ms, for at most 60 s, whether it still runs, through a handle that may
// only query (an exit code of 259 looks like a running process until the limit) or, without one,
// in the process list. True when it ended. Silent.
namespace detail {
bool waitWithFewerRights(std::uint32_t processId);
} // namespace detail

} // namespace quorila
