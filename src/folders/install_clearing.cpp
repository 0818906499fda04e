// Emptying the install folder before a release (or the backup) is copied in, keeping the
// installer's maintenance files.

#include "folders/install_clearing.h"

#include <string>
#include <string_view>
#include <system_error>

#include "folders/entry_rules.h"
#include "fs/held.h"
#include "fs/path_grammar.h"

namespace quorila {

namespace {

constexpr std::wstring_view folderNotListedLine = L"Klasör listelenemedi: ";
constexpr std::wstring_view maintenanceFileKeptLine = L"Installer bakım dosyası korunuyor: ";
constexpr std::wstring_view entryNotRemovedLine = L"Dosya silinemedi: ";

} // namespace

bool clearInstallFolder(const std::wstring& installFolder, const FileId& checkedInstall, UpdateLog& log,
                        AfterEntryNotRemoved after)
{
    std::error_code error;
    if (fileKind(installFolder, error) == FileKind::missing) {
        // Absent: nothing to clear. Status unreadable: the caller handles the false.
        return !error;
    }
    // Held from here on: every entry is removed from the folder that was checked, however its
    // path is changed meanwhile.
    const Held install = openFolder(installFolder, Access::read, error);
    if (error) {
        logLine(log, folderNotListedLine, installFolder);
        return false;
    }
    if (heldId(install, error) != checkedInstall || error) {
        logLine(log, entryNotRemovedLine, installFolder);
        return false;
    }

    FolderEntries entries(install);
    ListedEntry entry;
    bool cleared = true;
    while (entries.next(entry, error)) {
        if (isInstallerMaintenanceFile(entry.name)) {
            logLine(log, maintenanceFileKeptLine, entry.name);
            continue;
        }
        removeChild(install, entry, error);
        if (error) {
            logLine(log, entryNotRemovedLine, joinPath(installFolder, entry.name));
            if (after == AfterEntryNotRemoved::stop) {
                return false;
            }
            cleared = false;
        }
    }
    // A listing that cannot go on would leave entries behind unseen: the clearing fails.
    if (error) {
        logLine(log, folderNotListedLine, installFolder);
        return false;
    }
    return cleared;
}

bool removeWholeFolder(const std::wstring& folder, const std::optional<FileId>& checked, UpdateLog& log)
{
    std::error_code error;
    if (checked) {
        removeTree(folder, error, checked);
    } else if (fileKind(folder, error) != FileKind::missing) {
        error = std::make_error_code(std::errc::file_exists); // appeared since the check: not ours
    }
    // A removal that reports no error yet leaves the folder (an entry deleted only once the last
    // handle to it closes) has not removed it either.
    if (error || fileKind(folder, error) != FileKind::missing || error) {
        logLine(log, entryNotRemovedLine, folder);
        return false;
    }
    return true;
}

} // namespace quorila
