#pragma once

#include <optional>
#include <string>

#include "fs/file_ops.h"
#include "log/update_log.h"

namespace quorila {

// Removes every entry directly in the install folder except installer maintenance entries
// (each kept one logged). True when the folder is absent or fully cleared; false after at most
// one line when the folder cannot be read or an entry cannot be removed. Every entry is removed
// only while the install folder is still the folder `checkedInstall` identifies.
bool clearInstallFolder(const std::wstring& installFolder, const FileId& checkedInstall, UpdateLog& log);

// Removes a folder with everything in it, as removeTree does, provided it is still the folder
// `checked` identifies (nothing: it was not there, and must not be now). True when nothing of it
// is left (a folder that was not there too); false after "Dosya silinemedi: " + folder otherwise.
bool removeWholeFolder(const std::wstring& folder, const std::optional<FileId>& checked, UpdateLog& log);

} // namespace quorila
