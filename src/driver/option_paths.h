#pragma once

#include "base/options.h"

namespace quorila {

// The options in the one reading every later step uses: the three folders and the log in their
// full forms, each taken once against the working folder the process was started in (a relative
// option names the same place whatever the current folder is afterwards; dot elements outside a
// literal form are resolved here). A path in a form the updater refuses, and a folder given as
// one bare name, stay as written, for the folder checks to refuse. Silent.
UpdateOptions withFullPaths(UpdateOptions options);

} // namespace quorila
