#pragma once

#include <string>

#include "base/command_line.h"
#include "base/options.h"
#include "log/update_log.h"

namespace quorila {

// This process's own executable; empty when it cannot be read.
std::wstring ownExecutablePath();

// Starts this executable again with `options` (their full forms: the elevated copy starts in a
// folder of the shell's choosing) through the "runas" verb, without waiting. Logs one line; true
// when the shell started it.
bool relaunchElevated(const UpdateOptions& options, UpdateLog& log);

// The start behind relaunchElevated, open to the tests: for a given executable, parameter string and
// working folder; refuses (with its one line, starting nothing) when the executable or the
// parameters are empty, else asks the shell for "runas". Logs one line; true when it started.
namespace detail {
bool relaunchElevatedWith(const std::wstring& executable, const std::wstring& parameters,
                          const std::wstring& workingFolder, UpdateLog& log);
} // namespace detail

} // namespace quorila
