#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "log/update_log.h"

namespace quorila {

// Makes sure `folder` exists as a folder, creating missing levels. False after logging
// "Klasör oluşturulamadı: " + folder.
bool ensureFolder(const std::wstring& folder, UpdateLog& log);

// Copies every folder and regular file below `source` into `destination` (created if needed),
// overwriting files, deleting nothing. Stops at the first failure after exactly one line.
bool copyTree(const std::wstring& source, const std::wstring& destination, UpdateLog& log);

// The part of `entryPath` below `source`, read lexically: `entryPath` must be `source`, then
// separators, then a sub-path with no "." or ".." element. Nothing otherwise.
std::optional<std::wstring> relativeBelow(std::wstring_view source, std::wstring_view entryPath);

} // namespace quorila
