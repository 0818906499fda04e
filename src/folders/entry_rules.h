#pragma once

#include <string_view>

namespace quorila {

// True when the file name of `path` begins with "unins", ASCII letters compared without case.
bool isInstallerMaintenanceFile(std::wstring_view path);

} // namespace quorila
