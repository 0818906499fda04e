#pragma once

#include <optional>
#include <string>

#include "base/command_line.h"
#include "base/options.h"
#include "log/update_log.h"

namespace quorila {

// Starts this executable again with `options` as its command line through the "runas" verb and
// waits for it to end. The paths must be full ones: the new process's current folder is the
// shell's choice. Logs one line; the new process's exit code, or nothing when it was not started
// (refused, failed) or its end cannot be known (the shell gave no process to wait for).
std::optional<int> relaunchElevated(const UpdateOptions& options, UpdateLog& log);

// The start behind relaunchElevated, open to the tests: for a given executable and parameter
// string; refuses (with its one line, starting nothing) when either is empty, else asks the shell
// for "runas" and waits. Logs one line.
namespace detail {
std::optional<int> relaunchElevatedWith(const std::wstring& executable, const std::wstring& parameters,
                                        UpdateLog& log);
} // namespace detail

} // namespace quorila
