#pragma once

#include <string>

#include "log/update_log.h"

namespace quorila {

// Starts the executable without arguments in its own folder and does not wait for it.
// True when it was started; logs the outcome in one line.
bool restartApplication(const std::wstring& executablePath, UpdateLog& log);

} // namespace quorila
