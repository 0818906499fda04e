// Holding the three folders from their check to the end of the run.

#include "folders/held_folders.h"

#include <string_view>
#include <system_error>
#include <utility>

#include "fs/path_grammar.h"

namespace quorila {

namespace {

// The folder at `path` opened, provided it is the folder `checked` identifies.
Held holdChecked(const std::wstring& path, Access access, const FileId& checked, std::error_code& error)
{
    Held folder = openFolder(path, access, error);
    if (!error && heldId(folder, error) != checked) {
        keepFirstError(error, notItself());
    }
    return error ? Held{} : std::move(folder);
}

} // namespace

std::optional<HeldFolders> holdFolders(const CheckedFolders& checked)
{
    std::error_code error;
    HeldFolders held;
    if (!checked.installId) {
        return std::nullopt;
    }
    if (checked.releaseId) {
        held.release = holdChecked(checked.release, Access::read, *checked.releaseId, error);
    }
    if (!error) {
        held.install = holdChecked(checked.install, Access::write, *checked.installId, error);
    }
    if (!error && checked.backupId) {
        held.backup = holdChecked(checked.backup, Access::write, *checked.backupId, error);
    } else if (!error) {
        // Not there yet: its nearest existing folder above is held, and it is made below that one.
        std::wstring_view base = checked.backup;
        do {
            const std::wstring_view above = parentPath(base);
            if (above.size() >= base.size()) {
                return std::nullopt; // no folder above it is there
            }
            base = above;
            held.backupBase = openFolder(std::wstring(base), Access::add, error);
        } while (isNotFound(error));
        std::wstring_view rest = std::wstring_view(checked.backup).substr(base.size());
        while (!rest.empty() && isSeparator(rest.front())) {
            rest.remove_prefix(1);
        }
        held.backupRest = rest;
    }
    return error ? std::nullopt : std::optional<HeldFolders>(std::move(held));
}

} // namespace quorila
