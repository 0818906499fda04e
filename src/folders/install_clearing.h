#pragma once

#include <string>

#include "fs/held.h"
#include "log/update_log.h"

namespace quorila {

// What the clearing does after an entry it cannot remove: an update stops there (and rolls
// back); a rollback goes on, so that as little as possible of the release stays behind.
enum class AfterEntryNotRemoved { stop, goOn };

// Removes every entry directly in the held install folder (at `installPath`, for the log) except
// installer maintenance entries (each kept one logged). True when it is fully cleared; false when
// the folder cannot be read or an entry cannot be removed, after one line for each entry not
// removed (with `stop`, the first ends the clearing; inside a folder the rest is removed all the
// same).
bool clearInstallFolder(const Held& install, const std::wstring& installPath, UpdateLog& log,
                        AfterEntryNotRemoved after = AfterEntryNotRemoved::stop);

} // namespace quorila
