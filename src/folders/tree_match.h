#pragma once

#include <string>

namespace quorila {

// True when `install` holds the entries of `backup` and nothing else: the same paths below each
// (letter case aside), each a folder in both or a file in both. The installer's maintenance
// entries at the top of `install` (the clearing keeps them) and the backup's state file are left
// out. Contents are not compared: the caller has just copied every file of the backup over its
// namesake. False when either folder cannot be listed whole. Silent.
bool holdsExactly(const std::wstring& install, const std::wstring& backup);

} // namespace quorila
