#pragma once

#include <string>

#include "fs/held.h"

namespace quorila {

// True when the held release folder holds `exeName` as a regular file and "data" as a folder,
// each reached as itself (no link on the way), and `exeName` stays inside the folder. Silent.
bool checkReleasePackage(const Held& release, const std::wstring& exeName);

// True when the held install folder holds `exeName` as a regular file, reached as itself. Silent.
bool verifyNewExecutable(const Held& install, const std::wstring& exeName);

} // namespace quorila
