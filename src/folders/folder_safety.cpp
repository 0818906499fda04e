// Whether the release, install and backup folders may be worked on.
//
// First the textual rules, in this order: the install folder alone must be a real folder below
// a root, and no two of the three texts may name the same path. Then the rules that keep an
// update from destroying data through a folder written another way:
//  - the release and backup folders are held to the install folder's rule as well (a backup
//    folder "C:\" would have the backup step remove a whole drive);
//  - no folder may be a bare volume root in its full form: a drive root behind a device prefix
//    ("\\?\C:\") or the top folder of a share ("\\server\share");
//  - no two folders may be the same folder, and none may lie inside another, comparing their
//    full paths element by element without letter case (as the file system does);
//  - the same on the paths the folders resolve to on disk, so that a link or a short (8.3) name
//    cannot disguise one folder as another. A folder that does not exist yet is resolved
//    through the nearest folder above it that does.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "folders/folder_safety.h"
#include "folders/path_grammar.h"

namespace quorila {

namespace {

// True when one of the folders is another or lies inside it.
bool anyOverlap(const std::array<std::wstring, 3>& folders)
{
    for (std::size_t i = 0; i < folders.size(); ++i) {
        for (std::size_t j = 0; j < folders.size(); ++j) {
            if (i != j && isSameOrInside(folders[i], folders[j], equalIgnoringCase)) {
                return true;
            }
        }
    }
    return false;
}

bool anyVolumeRoot(const std::array<std::wstring, 3>& folders)
{
    for (const std::wstring& folder : folders) {
        if (isVolumeRoot(folder)) {
            return true;
        }
    }
    return false;
}

// The full path as the disk resolves it: the final path of the nearest existing folder at or
// above it, followed by the rest of the text. The text itself when nothing of it exists.
std::wstring resolvedPath(const std::wstring& full)
{
    std::wstring_view existing = full;
    for (;;) {
        if (std::optional<std::wstring> resolved = finalPath(std::wstring(existing))) {
            resolved->append(full, existing.size(), std::wstring::npos);
            return *resolved;
        }
        const std::wstring_view parent = parentPath(existing);
        if (parent.size() >= existing.size()) {
            return full;
        }
        existing = parent;
    }
}

} // namespace

bool isSafeFolder(const std::wstring& path)
{
    if (path.empty()) {
        return false;
    }
    if (parentPath(path).empty()) {
        return false;
    }
    const FullPath full = fullPath(path);
    if (full.error != 0) {
        return false;
    }
    return !pathsEqual(full.text, rootPath(full.text));
}

bool checkFolderSafety(const std::wstring& releaseFolder, const std::wstring& installFolder,
                       const std::wstring& backupFolder)
{
    if (!isSafeFolder(installFolder)) {
        return false;
    }
    if (pathsEqual(releaseFolder, installFolder)) {
        return false;
    }
    if (pathsEqual(backupFolder, installFolder)) {
        return false;
    }
    if (pathsEqual(releaseFolder, backupFolder)) {
        return false;
    }

    if (!isSafeFolder(releaseFolder) || !isSafeFolder(backupFolder)) {
        return false;
    }
    std::array<std::wstring, 3> folders;
    const std::array<const std::wstring*, 3> texts = {&releaseFolder, &installFolder, &backupFolder};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        FullPath full = fullPath(*texts[i]);
        if (full.error != 0) {
            return false;
        }
        folders[i] = std::move(full.text);
    }
    if (anyVolumeRoot(folders) || anyOverlap(folders)) {
        return false;
    }

    for (std::wstring& folder : folders) {
        folder = resolvedPath(folder);
    }
    return !anyVolumeRoot(folders) && !anyOverlap(folders);
}

} // namespace quorila
