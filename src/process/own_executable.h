#pragma once

#include <string>

namespace quorila {

// This process's own executable; empty when it cannot be read.
std::wstring ownExecutablePath();

} // namespace quorila
