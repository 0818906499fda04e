#pragma once

#include <system_error>

namespace quorila {

// Makes the system folder this process's current folder, so that no folder the update clears or
// removes is ever held as current. Silent; the platform's error when it cannot be done.
std::error_code leaveWorkingFolder();

} // namespace quorila
