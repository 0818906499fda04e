#pragma once

#include <optional>
#include <string>

#include "fs/file_ops.h"
#include "log/update_log.h"

namespace quorila {

// What the clearing does after an entry it cannot remove: an update stops there (and rolls
// back); a rollback goes on, so that as little as possible of the release stays behind.
enum class AfterEntryNotRemoved { stop, goOn };

// Removes every entry directly in the install folder except installer maintenance entries
// (each kept one logged). True when the folder is absent or fully cleared; false when the folder
// cannot be read or an entry cannot be removed, after one line for each entry not removed (with
// `stop`, the first ends the clearing). Every entry is removed only while the install folder is
// still the folder `checkedInstall` identifies.
bool clearInstallFolder(const std::wstring& installFolder, const FileId& checkedInstall, UpdateLog& log,
                        AfterEntryNotRemoved after = AfterEntryNotRemoved::stop);

// Removes a folder with everything in it, as removeTree does, provided it is still the folder
// `checked` identifies (nothing: it was not there, and must not be now). True when nothing of it
// is left (a folder that was not there too); false after "Dosya silinemedi: " + folder otherwise.
bool removeWholeFolder(const std::wstring& folder, const std::optional<FileId>& checked, UpdateLog& log);

} // namespace quorila
