#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "folders/file_ops.h"
#include "log/update_log.h"

namespace quorila {

// True when the file name of `path` begins with "unins", ASCII letters compared without case.
bool isInstallerMaintenanceFile(std::wstring_view path);

// What a removal checks of its starting point before it deletes anything: the identity of the
// folder that holds the path, and of the path itself, as they were when the folders were checked.
// An empty field is not checked.
struct RemovalGuard {
    std::optional<FileId> folder;
    std::optional<FileId> self;
};

// Removes every entry directly in the install folder except installer maintenance entries
// (each kept one logged). True when the folder is absent or fully cleared; false after at most
// one line when the folder cannot be read or an entry cannot be removed. Every entry is removed
// only while the install folder is still the folder `checkedInstall` identifies.
bool clearInstallFolder(const std::wstring& installFolder, const FileId& checkedInstall, UpdateLog& log);

// Removes a file, or a folder with everything below it. Links are removed as themselves or not at
// all and never entered; read-only files are removed; a missing path is no error. Nothing is
// removed unless the guard's identities hold. The first error ends the removal and is left in
// `error`.
void removeTree(const std::wstring& path, std::error_code& error, const RemovalGuard& guard = {});

// Removes a folder with everything in it, as removeTree does, provided it is still the folder
// `checked` identifies (nothing: it was not there, and must not be now). True when nothing of it
// is left (a folder that was not there too); false after "Dosya silinemedi: " + folder otherwise.
bool removeWholeFolder(const std::wstring& folder, const std::optional<FileId>& checked, UpdateLog& log);

} // namespace quorila
