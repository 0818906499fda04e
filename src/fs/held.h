#pragma once

// Files and folders held open. A walk opens its root once, by path, and then reaches everything
// below it relative to the handle of the folder it was listed in: no path is resolved again once
// the walk has begun, so a folder swapped for a link meanwhile is never followed, and every entry
// a copy writes is one it has just created. Each fallible function reports in a std::error_code
// out-parameter (cleared on success), as file_ops.h does.

#include <cstddef>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/unique_handle.h"
#include "fs/file_ops.h"

namespace quorila {

// What a handle is opened for.
enum class Access {
    pass,          // reaching what lies below a folder, nothing else
    read,          // listing a folder, reading a file
    add,            // creating entries in a folder, nothing else
    write,          // creating entries in a folder, writing a file
    remove,         // removing it (a folder: also listing it)
    removeReadOnly, // removing a read-only entry, whose attribute must be cleared first
};

// An open file or folder and the name it was reached under, from the root of its volume. A
// folder being walked is held without delete sharing: on Windows it cannot be renamed or replaced
// while the walk is inside it.
struct Held {
    UniqueHandle handle;
    std::wstring name;
    unsigned long attributes = 0; // its own: a link is reported as a link
    bool isFolder() const noexcept;
    bool isLink() const noexcept;
};

// The folder at `path` (a full path; the links above and at it followed, as the checks resolved
// them), opened through its literal \\?\ form, so that its length is not limited.
Held openFolder(const std::wstring& path, Access access, std::error_code& error);

// Where a name comes from: a listing (the entry's own name), or the user (who may write a short
// 8.3 name for a long one).
enum class NameFrom { listing, user };

// The entry `name` directly in `folder`, of the kind the listing showed, opened as itself: a link
// is never followed. What the platform reached must be that entry (a platform that follows links
// whatever it is asked, as Wine does, reaches another): otherwise notItself(). An entry of the
// other kind or none is the platform's error.
Held openChild(const Held& folder, std::wstring_view name, bool isFolder, Access access, std::error_code& error,
               NameFrom from = NameFrom::listing);

// A new folder or empty file `name` directly in `folder`. A name that is there already, a link
// included, fails (ERROR_ALREADY_EXISTS): nothing that was there is ever opened instead.
Held createChild(const Held& folder, std::wstring_view name, bool isFolder, std::error_code& error);

// The plain file `name` in `folder`, opened as itself and emptied for writing over: where a file
// cannot be removed (a program holds it open, letting others write but not delete), a copy writes
// over it in place. notItself() for a link or a file of more than this one name, whose other
// names or target would be written through.
Held openForOverwrite(const Held& folder, std::wstring_view name, std::error_code& error);

// True for the error of a name already taken.
bool isAlreadyTaken(const std::error_code& error);

// The error for an entry that is not the one at its place: a link the platform followed, or an
// entry replaced since it was listed.
std::error_code notItself();

// One entry of a held folder's listing.
struct ListedEntry {
    std::wstring name;
    unsigned long attributes = 0;
    unsigned long reparseTag = 0;
    bool isFolder() const noexcept;
    bool isLink() const noexcept;
};

// The entries of a held folder, in the platform's order, never "." or "..", a block at a time.
// Listed through a handle of its own, opened afresh on the held folder: a platform may keep what
// one handle has listed once (Wine does), and a folder held for a whole run is listed more than
// once.
class FolderEntries {
public:
    explicit FolderEntries(const Held& folder);
    // The next entry: false at the end of the folder, or with an error (a folder that cannot be
    // read is never taken for an empty one).
    bool next(ListedEntry& entry, std::error_code& error);

private:
    UniqueHandle folder_;
    std::error_code opened_;
    std::vector<unsigned char> block_;
    std::size_t offset_ = 0;
    bool started_ = false;
    bool ended_ = false;
};

// Removes the held entry (a file, a link as itself, or an empty folder) through its own handle:
// the name goes at once where the file system offers it, else when the last handle closes.
void removeHeld(Held& entry, std::error_code& error);

// Copies the content of the held file `from` into the new file `to`, then its attributes and its
// last-write time, as CopyFileW does. `buffer` is the caller's, reused from file to file.
void copyContent(const Held& from, const Held& to, std::vector<char>& buffer, std::error_code& error);

// True when the held files `a` and `b` have the same size and content (read from where each
// handle stands). `buffer` is the caller's.
bool haveSameContent(const Held& a, const Held& b, std::vector<char>& buffer, std::error_code& error);

// The identity of what a handle reaches.
FileId heldId(const Held& held, std::error_code& error);

// What `relative` (a name or names below `folder`, as the user wrote them) is below the held
// folder, each level opened as itself: missing when nothing is there, an error (notItself()) when
// a link stands on the way or at its end.
FileKind kindBelow(const Held& folder, std::wstring_view relative, std::error_code& error);

// How openFolderLevels treats the folders on a path that exist, and those that do not.
enum class Levels {
    followLinks, // as the checks resolved them; missing ones are created
    refuseLinks, // each must be a plain folder, not a link (notItself()); missing ones are created
};

// Opens the folder at `path` level by level from its volume's root, each relative to the level
// above it, creating each missing level in turn (N missing levels cost N creations, whatever their
// depth). The folder is held for writing.
Held openFolderLevels(const std::wstring& path, Levels levels, std::error_code& error);

// The file `name` in `folder`, opened as itself for appending (every write lands at its end,
// whoever else appends) with full sharing: created new when nothing is there, else the file that
// is there opened as itself. notItself() when what is there is a link (dangling or not), or opens
// as another entry: nothing is then created anywhere.
Held openAppending(const Held& folder, std::wstring_view name, std::error_code& error);

// Gives the plain file `from` of `folder` the name `to` in the same folder, replacing the entry
// of that name (a link as the link, never what it reaches). Relative to the held folder where the
// platform allows it; else through `folderPath`, the held folder's path.
void renameChild(const Held& folder, const std::wstring& folderPath, std::wstring_view from, std::wstring_view to,
                 std::error_code& error);

} // namespace quorila

namespace quorila {

// What stands at `name` in `folder`, described as a listing would (its own name and attributes:
// a link as a link). notItself() when the platform reached something else.
bool describeChild(const Held& folder, std::wstring_view name, ListedEntry& entry, std::error_code& error);

// Removes the listed entry of `folder` as itself: a file or a link, or a folder with everything
// below it, each entry through its own handle, opened relative to its folder's. Read-only entries
// are removed; links are never entered. Inside a folder, an entry that cannot be removed is passed over (the
// folders above it stay) and the rest removed; the first error is reported.
void removeChild(const Held& folder, const ListedEntry& entry, std::error_code& error);

} // namespace quorila
