#pragma once

#include <string>
#include <system_error>

namespace quorila {

// Copies one file, replacing an existing target and creating a missing one (what copy_file with
// overwrite_existing promises; MinGW's refuses every existing target). Error left in `error`.
void copyFileReplacing(const std::wstring& from, const std::wstring& to, std::error_code& error);

// True when `path` itself (not what it points to) is a link or junction.
bool isReparsePoint(const std::wstring& path);

} // namespace quorila
