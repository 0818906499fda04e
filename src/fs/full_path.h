#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace quorila {

// Full (absolute) form of a path from GetFullPathNameW; on failure an empty text and the
// platform's error.
std::wstring fullPath(const std::wstring& path, std::error_code& error);

// The final path of an existing folder, links followed and short names expanded (the platform
// gives it in the "\\?\" form); nothing, without an error, when no folder is there.
std::optional<std::wstring> finalPath(const std::wstring& path, std::error_code& error);

// The file system's way of comparing two elements: ordinal, ignoring letter case through the
// system's own case table (CompareStringOrdinal), never through a locale.
bool equalIgnoringCase(std::wstring_view a, std::wstring_view b);

} // namespace quorila
