// Whether a rollback brought the install folder back to exactly the backup: what a rollback's
// code may claim.

#include "folders/tree_match.h"

#include <cwctype>
#include <map>
#include <optional>
#include <string>
#include <system_error>

#include "folders/backup_mark.h"
#include "folders/entry_rules.h"
#include "fs/file_ops.h"

namespace quorila {

namespace {

// Every entry below `root` by its relative path in upper case, with whether it is a folder
// (links followed, never entered); the top-level entries `leftOut` names are passed over with
// everything below them. Nothing when the listing fails.
template <typename LeftOut>
std::optional<std::map<std::wstring, bool>> entries(const std::wstring& root, LeftOut leftOut)
{
    std::map<std::wstring, bool> found;
    std::error_code error;
    FolderListing listing(root, FolderListing::Depth::recursive, error);
    std::wstring skipped; // the top-level entry being passed over, with its separator
    while (!error && !listing.atEnd()) {
        const auto relative = relativeBelow(root, listing.path());
        if (!relative) {
            return std::nullopt;
        }
        const bool below = !skipped.empty() && relative->starts_with(skipped);
        if (!below && relative->find(L'\\') == std::wstring::npos && leftOut(*relative)) {
            skipped = *relative + L'\\';
        } else if (!below) {
            skipped.clear();
            std::wstring key = *relative;
            for (wchar_t& unit : key) {
                unit = static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(unit)));
            }
            found[key] = listing.isFolder(error);
        }
        if (!error) {
            listing.increment(error);
        }
    }
    return error ? std::nullopt : std::optional(std::move(found));
}

} // namespace

bool holdsExactly(const std::wstring& install, const std::wstring& backup)
{
    const auto installed = entries(install, [](const std::wstring& name) { return isInstallerMaintenanceFile(name); });
    const auto backedUp = entries(backup, [](const std::wstring& name) {
        return isInstallerMaintenanceFile(name) || isBackupMarkEntry(name);
    });
    return installed && backedUp && *installed == *backedUp;
}

} // namespace quorila
