// Copying the contents of one folder into another: the backup of the install folder, the
// install of the release, and the copy back of the backup in a rollback.

#include "folders/tree_copy.h"

#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "folders/backup_mark.h"
#include "fs/held.h"
#include "fs/path_grammar.h"

namespace quorila {

namespace {

constexpr std::wstring_view folderNotCreatedLine = L"Klasör oluşturulamadı: ";
constexpr std::wstring_view sourceNotFoundLine = L"Kaynak klasör bulunamadı: ";
constexpr std::wstring_view sourceNotReadableLine = L"Kaynak klasör okunamadı: ";
constexpr std::wstring_view listingFailedLine = L"Kaynak klasör taranırken hata oluştu.";
constexpr std::wstring_view fileNotCopiedLine = L"Dosya kopyalanamadı: ";

// One folder being copied: its source held and listed, its copy held, and both paths for the log.
struct Level {
    Held source;
    FolderEntries entries;
    Held target;
    std::wstring sourcePath;
    std::wstring targetPath;
};

// What making an entry at the destination came to.
enum class Made { created, kept, failed };

// Makes `name` in `folder` new: a folder (merged into when a plain folder is there already) or an
// empty file. Anything else there is removed as itself first; in a copy back a link stays.
Made makeEntry(const Held& folder, std::wstring_view name, bool isFolder, CopyOf what, Held& made,
               std::error_code& error)
{
    made = createChild(folder, name, isFolder, error);
    if (!isAlreadyTaken(error)) {
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
    if (isFolder && there.isFolder() && !there.isLink()) {
        made = openChild(folder, name, true, Access::write, error);
        return error ? Made::failed : Made::created;
    }
    removeChild(folder, there, error);
    if (!error) {
        made = createChild(folder, name, isFolder, error);
    } else if (!isFolder && !there.isFolder()) {
        // Held open by a program that lets others write it but not delete it.
        std::error_code notOverwritten;
        made = openForOverwrite(folder, name, notOverwritten);
        error = notOverwritten ? error : notOverwritten;
    }
    return error ? Made::failed : Made::created;
}

// The two roots held, the destination's missing folders created; nothing after one line when
// either cannot be.
std::optional<Level> openRoots(const std::wstring& source, const std::wstring& destination, UpdateLog& log)
{
    std::error_code error;
    Held sourceRoot = openFolder(source, Access::read, error);
    if (error) {
        logLine(log, isNotFound(error) ? sourceNotFoundLine : sourceNotReadableLine, source);
        return std::nullopt;
    }
    Held targetRoot = openFolderLevels(destination, Levels::followLinks, error);
    if (error) {
        logLine(log, folderNotCreatedLine, destination);
        return std::nullopt;
    }
    FolderEntries rootEntries(sourceRoot);
    return Level{std::move(sourceRoot), std::move(rootEntries), std::move(targetRoot), source, destination};
}

// Copies one listed entry of the folder at the top of `levels`: a file whole, a folder made and
// pushed to be walked next. False after one line when it fails.
bool copyEntry(std::vector<Level>& levels, const ListedEntry& entry, CopyOf what, std::vector<char>& buffer,
               UpdateLog& log)
{
    Level& level = levels.back();
    std::wstring sourcePath = joinPath(level.sourcePath, entry.name);
    std::wstring targetPath = joinPath(level.targetPath, entry.name);

    // What the listing saw is what is read: a link, or an entry that opens as another, is
    // never read through.
    std::error_code error;
    Held from;
    if (!entry.isLink()) {
        from = openChild(level.source, entry.name, entry.isFolder(), Access::read, error);
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
    const Made outcome = makeEntry(level.target, entry.name, entry.isFolder(), what, made, error);
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
        levels.push_back({std::move(from), std::move(entries), std::move(made), std::move(sourcePath),
                          std::move(targetPath)}); // `level` is not used after this
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

bool copyTree(const std::wstring& source, const std::wstring& destination, CopyOf what, UpdateLog& log)
{
    std::optional<Level> root = openRoots(source, destination, log);
    if (!root) {
        return false;
    }
    std::vector<Level> levels;
    levels.push_back(std::move(*root));
    std::vector<char> buffer;
    ListedEntry entry;
    std::error_code error;
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
        if (!copyEntry(levels, entry, what, buffer, log)) {
            return false;
        }
    }
    return true;
}

} // namespace quorila
