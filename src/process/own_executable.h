#pragma once

#include <string>
#include <system_error>

namespace quorila {

// This process's own executable; the platform's error when it cannot be read.
std::wstring ownExecutablePath(std::error_code& error);

} // namespace quorila
