// Whether a rollback brought the install folder back to exactly the backup: what a rollback's
// code may claim.

#include "folders/tree_match.h"

#include <cwctype>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "folders/backup_mark.h"
#include "folders/entry_rules.h"
#include "fs/held.h"

namespace quorila {

namespace {

// Every entry below `root` by its relative path in upper case, with whether it is a folder (a
// link to one counts as one, never entered); the top-level entries `leftOut` names are passed over
// with everything below them. Nothing when a listing fails.
template <typename LeftOut>
std::optional<std::map<std::wstring, bool>> entries(const Held& root, LeftOut leftOut)
{
    struct Level {
        Held folder; // empty at the top: the root is the caller's
        FolderEntries entries;
        std::wstring prefix;
    };
    std::error_code error;
    std::vector<Level> levels;
    levels.push_back({Held{}, FolderEntries(root), L""});
    std::map<std::wstring, bool> found;
    ListedEntry entry;
    while (!levels.empty()) {
        Level& level = levels.back();
        if (!level.entries.next(entry, error)) {
            if (error) {
                return std::nullopt;
            }
            levels.pop_back();
            continue;
        }
        if (levels.size() == 1 && leftOut(entry.name)) {
            continue;
        }
        std::wstring relative = level.prefix + entry.name;
        std::wstring key = relative;
        for (wchar_t& unit : key) {
            unit = static_cast<wchar_t>(std::towupper(static_cast<std::wint_t>(unit)));
        }
        found[key] = entry.isFolder();
        if (entry.isFolder() && !entry.isLink()) {
            Held child = openChild(level.folder.handle ? level.folder : root, entry.name, true, Access::read, error);
            if (error == notItself()) {
                continue; // a link the platform followed: not entered
            }
            if (error) {
                return std::nullopt;
            }
            FolderEntries childEntries(child);
            levels.push_back({std::move(child), std::move(childEntries), relative + L"\\"}); // `level` not used after
        }
    }
    return found;
}

} // namespace

bool holdsExactly(const Held& install, const Held& backup)
{
    const auto installed = entries(install, [](const std::wstring& name) { return isInstallerMaintenanceFile(name); });
    const auto backedUp = entries(backup, [](const std::wstring& name) {
        return isInstallerMaintenanceFile(name) || isBackupMarkEntry(name);
    });
    return installed && backedUp && *installed == *backedUp;
}

} // namespace quorila
