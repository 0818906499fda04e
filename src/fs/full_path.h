#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace quorila {

// Full (absolute) form of a path from GetFullPathNameW; on failure an empty text and the
// platform's error.
std::wstring fullPath(const std::wstring& path, std::error_code& error);

// The literal form of a full path ("\\?\C:\x", "\\?\UNC\server\share\x"), which no system
// setting limits to MAX_PATH; a literal form stays as it is.
std::wstring literalPath(const std::wstring& full);

// `path` as a call that takes a plain path must be given it: a path too long for MAX_PATH in the
// literal form of its full path (without LongPathsEnabled, which is off by default, every such
// call fails on it), any other as it is.
std::wstring longForm(const std::wstring& path);

// The final path of an existing folder, links followed and short names expanded (the platform
// gives it in the "\\?\" form); nothing, without an error, when no folder is there.
std::optional<std::wstring> finalPath(const std::wstring& path, std::error_code& error);

// The file system's way of comparing two elements: ordinal, ignoring letter case through the
// system's own case table (CompareStringOrdinal), never through a locale.
bool equalIgnoringCase(std::wstring_view a, std::wstring_view b);

} // namespace quorila
