#pragma once

#include "fs/held.h"

namespace quorila {

// True when `install` holds the entries of `backup` and nothing else: the same paths below each
// (letter case aside), each a folder in both or a file in both. The installer's maintenance
// entries at the top of `install` (the clearing keeps them) and the backup's state file are left
// out. Contents are not compared: the caller has just copied every file of the backup over its
// namesake, or found it the same. False when either held folder cannot be listed whole. Silent.
bool holdsExactly(const Held& install, const Held& backup);

} // namespace quorila
