// Removing trees through held handles: each entry is opened relative to the folder it was listed
// in, as itself, and deleted through its own handle, so a folder swapped for a link during the
// walk is never entered and nothing outside the tree is ever deleted.

#include <windows.h>

#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "fs/file_ops.h"
#include "fs/held.h"
#include "fs/path_grammar.h"

namespace quorila {

namespace {

Access removalAccess(unsigned long attributes)
{
    return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? Access::removeReadOnly : Access::remove;
}

// Removes an emptied folder. Where a file system deletes only when the last handle closes (no
// POSIX semantics: FAT, network shares, older Windows), an entry just deleted but still held by
// another program (a virus scanner) keeps its folder from going for a moment: the removal is
// tried again for about a second before it counts as failed.
void removeEmptied(Held& folder, std::error_code& error)
{
    removeHeld(folder, error);
    for (DWORD pause = 1; error == platformError(ERROR_DIR_NOT_EMPTY) && pause <= 512; pause *= 2) {
        Sleep(pause);
        removeHeld(folder, error);
    }
}

// One folder being emptied: held for removal, and its listing.
struct Emptying {
    Held folder;
    FolderEntries entries;
    bool leftSome = false; // an entry of it could not be removed: it stays
};

// Everything below the held folder, then the folder itself. An entry that cannot be removed is
// passed over and the rest removed all the same; the first error is the one reported. The open
// folders are kept on the heap rather than the call stack, so that the deepest tree a path can
// name fits.
void removeFolder(Held root, std::error_code& firstError)
{
    std::vector<Emptying> open;
    FolderEntries rootEntries(root);
    open.push_back({std::move(root), std::move(rootEntries)});
    ListedEntry entry;
    std::error_code error;
    while (!open.empty()) {
        Emptying& current = open.back();
        bool leftSome = false;
        if (!current.entries.next(entry, error)) {
            Emptying emptied = std::move(current);
            open.pop_back();
            if (!error && !emptied.leftSome) {
                removeEmptied(emptied.folder, error);
            }
            leftSome = emptied.leftSome;
        } else {
            const bool enter = entry.isFolder() && !entry.isLink();
            Held child = openChild(current.folder, entry.name, entry.isFolder(), removalAccess(entry.attributes), error);
            if (error) {
                error = error == platformError(ERROR_FILE_NOT_FOUND) ? std::error_code() : error; // gone meanwhile
            } else if (enter && !child.isLink()) {
                FolderEntries entries(child);
                open.push_back({std::move(child), std::move(entries)}); // `current` is not used after this
                continue;
            } else {
                removeHeld(child, error);
            }
        }
        keepFirstError(firstError, error);
        if ((leftSome || error) && !open.empty()) {
            open.back().leftSome = true;
        }
        error.clear();
    }
}

} // namespace

bool describeChild(const Held& folder, std::wstring_view name, ListedEntry& entry, std::error_code& error)
{
    for (const bool isFolder : {false, true}) {
        const Held held = openChild(folder, name, isFolder, Access::pass, error); // no sharing asked of others
        if (held.handle) {
            entry = {std::wstring(fileName(held.name)), held.attributes, held.isLink() ? IO_REPARSE_TAG_SYMLINK : 0};
            return true;
        }
        if (error != platformError(ERROR_ACCESS_DENIED) && error != platformError(ERROR_DIRECTORY)) {
            return false; // not a kind question: missing, not itself, or refused
        }
    }
    return false;
}

void removeChild(const Held& folder, const ListedEntry& entry, std::error_code& error)
{
    Held child = openChild(folder, entry.name, entry.isFolder(), removalAccess(entry.attributes), error);
    if (error == platformError(ERROR_FILE_NOT_FOUND)) {
        error.clear(); // gone since it was listed
    }
    if (error) {
        return;
    }
    if (child.isFolder() && !child.isLink()) {
        removeFolder(std::move(child), error);
    } else {
        removeHeld(child, error);
    }
}

void removeTree(const std::wstring& path, std::error_code& error)
{
    error.clear();
    // The entry as itself: its folder held, then the entry opened relative to it.
    std::wstring_view trimmed = path;
    while (trimmed.size() > rootPath(trimmed).size() && isSeparator(trimmed.back())) {
        trimmed.remove_suffix(1);
    }
    const std::wstring_view name = fileName(trimmed);
    const std::wstring parent(parentPath(trimmed));
    if (name.empty() || parent.size() >= trimmed.size()) {
        error = platformError(ERROR_INVALID_NAME); // a root: never removed
        return;
    }
    const Held folder = openFolder(parent.empty() ? L"." : parent, Access::read, error);
    ListedEntry entry;
    if (!error && describeChild(folder, name, entry, error)) {
        removeChild(folder, entry, error);
    }
    if (isNotFound(error)) {
        error.clear();
    }
}

} // namespace quorila
