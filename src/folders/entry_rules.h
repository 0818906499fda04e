#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorila {

// The part of `entryPath` below `source`, read lexically: `entryPath` must be `source`, then
// separators, then a sub-path with no "." or ".." element. Nothing otherwise.
std::optional<std::wstring> relativeBelow(std::wstring_view source, std::wstring_view entryPath);

// True when the file name of `path` begins with "unins", ASCII letters compared without case.
bool isInstallerMaintenanceFile(std::wstring_view path);

} // namespace quorila
