#pragma once

#include <string>
#include <string_view>
#include <system_error>

#include "log/update_log.h"

namespace quorila {

// True when the file name of `path` begins with "unins", ASCII letters compared without case.
bool isInstallerMaintenanceFile(std::wstring_view path);

// Removes every entry directly in the install folder except installer maintenance entries
// (each kept one logged). True when the folder is absent or fully cleared; false after at most
// one line when the folder cannot be read or an entry cannot be removed.
bool clearInstallFolder(const std::wstring& installFolder, UpdateLog& log);

// Removes a file, or a folder with everything below it. Links are removed as themselves and
// never entered; read-only files are removed; a missing path is no error. The first error ends
// the removal and is left in `error`.
void removeTree(const std::wstring& path, std::error_code& error);

// Removes a folder with everything in it, as removeTree does. True when nothing of it is left (a
// folder that was not there too); false after "Dosya silinemedi: " + folder when anything stays.
bool removeWholeFolder(const std::wstring& folder, UpdateLog& log);

} // namespace quorila
