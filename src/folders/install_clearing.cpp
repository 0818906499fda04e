// Emptying the held install folder before a release (or the backup) is copied in, keeping the
// installer's maintenance files.

#include "folders/install_clearing.h"

#include <string>
#include <string_view>
#include <system_error>

#include "folders/entry_rules.h"
#include "folders/log_texts.h"
#include "fs/held.h"
#include "fs/path_grammar.h"

namespace quorila {

namespace {

constexpr std::wstring_view folderNotListedLine = L"Klasör listelenemedi: ";
constexpr std::wstring_view maintenanceFileKeptLine = L"Installer bakım dosyası korunuyor: ";

} // namespace

bool clearInstallFolder(const Held& install, const std::wstring& installPath, UpdateLog& log,
                        AfterEntryNotRemoved after)
{
    std::error_code error;
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
            logLine(log, entryNotRemovedLine, joinPath(installPath, entry.name));
            if (after == AfterEntryNotRemoved::stop) {
                return false;
            }
            cleared = false;
        }
    }
    // A listing that cannot go on would leave entries behind unseen: the clearing fails.
    if (error) {
        logLine(log, folderNotListedLine, installPath);
        return false;
    }
    return cleared;
}

} // namespace quorila
