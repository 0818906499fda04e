// Copying the contents of one folder into another: the backup of the install folder, the
// install of the release, and the copy back of the backup in a rollback.

#include "folders/tree_copy.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "folders/backup_mark.h"
#include "folders/log_texts.h"
#include "fs/held.h"
#include "fs/path_grammar.h"

namespace quorila {

namespace {

constexpr std::wstring_view sourceNotFoundLine = L"Kaynak klasör bulunamadı: ";
constexpr std::wstring_view listingFailedLine = L"Kaynak klasör taranırken hata oluştu.";
constexpr std::wstring_view fileNotCopiedLine = L"Dosya kopyalanamadı: ";

// One folder being copied: its source held and listed, its copy held, both paths for the log,
// and the names this copy has made in it (an entry found at a new name is never one of them).
struct Level {
    Held source; // empty at the top: the roots are the caller's
    Held target;
    FolderEntries entries;
    std::wstring sourcePath;
    std::wstring targetPath;
    std::vector<std::wstring> made;
};

// The two folders a level reads from and writes into.
struct Roots {
    const Held& source;
    const Held& target;
};

const Held& sourceOf(const Level& level, const Roots& roots)
{
    return level.source.handle ? level.source : roots.source;
}

const Held& targetOf(const Level& level, const Roots& roots)
{
    return level.target.handle ? level.target : roots.target;
}

// What making an entry at the destination came to.
enum class Made { created, kept, failed };

// Makes `name` in `folder` new: a folder (merged into when a plain folder is there already) or an
// empty file. Anything else there is removed as itself first; in a copy back a link stays. An
// entry there that this copy made itself (another name for it: a short name, or letter case in a
// folder that tells case apart) is never removed: that fails.
Made makeEntry(const Held& folder, Level& level, std::wstring_view name, bool isFolder, CopyOf what, Held& made,
               std::error_code& error)
{
    made = createChild(folder, name, isFolder, error);
    if (!isAlreadyTaken(error)) {
        if (!error) {
            level.made.emplace_back(name);
        }
        return error ? Made::failed : Made::created;
    }
    ListedEntry there;
    const bool described = describeChild(folder, name, there, error);
    const bool link = error == notItself() || (described && there.isLink());
    if (link && what == CopyOf::backup) {
        return Made::kept;
    }
    if (!described) {
        return Made::failed;
    }
    if (std::find(level.made.begin(), level.made.end(), there.name) != level.made.end()) {
        error = notItself();
        return Made::failed;
    }
    if (isFolder && there.isFolder() && !there.isLink()) {
        made = openChild(folder, there.name, true, Access::write, error);
        return error ? Made::failed : Made::created;
    }
    removeChild(folder, there, error);
    if (!error) {
        made = createChild(folder, name, isFolder, error);
    } else if (!isFolder && !there.isFolder()) {
        // Held open by a program that lets others write it but not delete it.
        std::error_code notOverwritten;
        made = openForOverwrite(folder, there.name, notOverwritten);
        error = notOverwritten ? error : notOverwritten;
    }
    return error ? Made::failed : Made::created;
}

// In a copy back, a file at the destination that can be neither removed nor written over (a
// program has it loaded) is kept when it is the backup's file already.
bool isKeptAsItIs(const Held& folder, const Held& from, const ListedEntry& entry, CopyOf what,
                  std::vector<char>& buffer)
{
    if (what != CopyOf::backup || entry.isFolder()) {
        return false;
    }
    std::error_code error;
    const Held there = openChild(folder, entry.name, false, Access::read, error);
    return !error && !there.isLink() && haveSameContent(from, there, buffer, error) && !error;
}

// Copies one listed entry of the folder at the top of `levels`: a file whole, a folder made and
// pushed to be walked next. False after one line when it fails.
bool copyEntry(std::vector<Level>& levels, const Roots& roots, const ListedEntry& entry, CopyOf what,
               std::vector<char>& buffer, UpdateLog& log)
{
    Level& level = levels.back();
    std::wstring sourcePath = joinPath(level.sourcePath, entry.name);
    std::wstring targetPath = joinPath(level.targetPath, entry.name);

    // What the listing saw is what is read: a link, or an entry that opens as another, is
    // never read through.
    std::error_code error;
    Held from;
    if (!entry.isLink()) {
        from = openChild(sourceOf(level, roots), entry.name, entry.isFolder(), Access::read, error);
    }
    const bool link = entry.isLink() || error == notItself() || from.isLink();
    if (error && !link) {
        if (entry.isFolder()) {
            logLine(log, listingFailedLine);
        } else {
            logLine(log, fileNotCopiedLine, sourcePath);
        }
        return false;
    }
    if (link && what == CopyOf::release) {
        logLine(log, fileNotCopiedLine, sourcePath);
        return false;
    }

    Held made;
    const Held& target = targetOf(level, roots);
    const Made outcome = makeEntry(target, level, entry.name, entry.isFolder(), what, made, error);
    if (outcome == Made::failed && !link && isKeptAsItIs(target, from, entry, what, buffer)) {
        return true;
    }
    if (outcome == Made::failed) {
        logLine(log, entry.isFolder() ? folderNotCreatedLine : fileNotCopiedLine,
                entry.isFolder() ? targetPath : sourcePath);
        return false;
    }
    if (outcome == Made::kept || link) {
        return true; // a link is made plain and empty
    }
    if (entry.isFolder()) {
        FolderEntries entries(from);
        levels.push_back({std::move(from), std::move(made), std::move(entries), std::move(sourcePath),
                          std::move(targetPath), {}}); // `level` is not used after this
        return true;
    }
    copyContent(from, made, buffer, error);
    if (error) {
        logLine(log, fileNotCopiedLine, sourcePath);
        return false;
    }
    return true;
}

} // namespace

bool copyTree(const Held& source, const std::wstring& sourcePath, const Held& destination,
              const std::wstring& destinationPath, CopyOf what, UpdateLog& log)
{
    if (!source.handle) {
        logLine(log, sourceNotFoundLine, sourcePath);
        return false;
    }
    const Roots roots{source, destination};
    std::vector<Level> levels;
    levels.push_back({Held{}, Held{}, FolderEntries(source), sourcePath, destinationPath, {}});
    std::vector<char> buffer;
    ListedEntry entry;
    std::error_code error;
    bool copied = true;
    while (!levels.empty()) {
        if (!levels.back().entries.next(entry, error)) {
            if (error) {
                logLine(log, listingFailedLine);
                return false;
            }
            levels.pop_back();
            continue;
        }
        if (levels.size() == 1 && isBackupMarkEntry(entry.name)) {
            continue; // the backup folder's state file belongs to that folder alone
        }
        if (!copyEntry(levels, roots, entry, what, buffer, log)) {
            // A copy back goes on: every entry it can restore is restored.
            if (what != CopyOf::backup) {
                return false;
            }
            copied = false;
        }
    }
    return copied;
}

} // namespace quorila
