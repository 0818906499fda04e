// Whether the release, install and backup folders, the log and the updater itself may be worked
// on, as folder_safety.h lists the rules. The textual rules come first, as they always stood; the
// others keep an update from destroying data through a folder written another way, a link, or a
// folder that is not what its option says.

#include <algorithm>
#include <array>
#include <initializer_list>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "folders/backup_folder.h"
#include "folders/folder_safety.h"
#include "fs/path_grammar.h"

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

// What the rules ask of the disk, with their one answer to a question the platform cannot answer
// (access refused, say): as for a path where nothing is, so that the texts decide; where that
// would let a folder pass, the rule asks otherwise (isLinkOrUnknown).
std::optional<std::wstring> finalPathIfAny(const std::wstring& path)
{
    std::error_code unknown;
    std::optional<std::wstring> final = finalPath(path, unknown);
    return unknown ? std::nullopt : final;
}

std::optional<FileId> idIfAny(const std::wstring& path)
{
    std::error_code unknown;
    const std::optional<FileId> id = fileId(path, unknown);
    return unknown ? std::nullopt : id;
}

bool isLinkOrUnknown(const std::wstring& path)
{
    std::error_code unknown;
    return isReparsePoint(path, unknown) || unknown;
}

// The lengths of the full path's folders below its volume's root, from the top down, as far as
// they are folders that can be opened: a path with thousands of missing levels costs only the
// levels that exist.
std::vector<std::size_t> existingLevels(std::wstring_view full)
{
    std::vector<std::size_t> levels;
    const std::size_t root = rootPath(full).size();
    everyElement(full.substr(root), [&](std::wstring_view element, bool) {
        const std::size_t end = static_cast<std::size_t>(element.data() - full.data()) + element.size();
        if (element.empty()) {
            return true;
        }
        if (!finalPathIfAny(std::wstring(full.substr(0, end)))) {
            return false;
        }
        levels.push_back(end);
        return true;
    });
    return levels;
}

// The full path with its existing part replaced by that part's final path. The path itself and its
// folder are asked first: most paths exist, or all but their file name does.
std::wstring resolvedFullPath(const std::wstring& full)
{
    std::size_t existing = full.size();
    std::optional<std::wstring> resolved = finalPathIfAny(full);
    if (!resolved && parentPath(full).size() < full.size()) {
        existing = parentPath(full).size();
        resolved = finalPathIfAny(full.substr(0, existing));
    }
    if (!resolved) {
        const std::vector<std::size_t> levels = existingLevels(full);
        existing = levels.empty() ? rootPath(full).size() : levels.back();
        resolved = finalPathIfAny(full.substr(0, existing));
    }
    if (!resolved) {
        return full;
    }
    resolved->append(full, existing, std::wstring::npos);
    return *resolved;
}

// The identities of the folder and of every folder above it that exists, below its volume's root.
std::vector<FileId> identities(std::wstring_view full)
{
    std::vector<FileId> found;
    for (const std::size_t level : existingLevels(full)) {
        if (const auto id = idIfAny(std::wstring(full.substr(0, level)))) {
            found.push_back(*id);
        }
    }
    return found;
}

// True when one of the folders is another or lies inside it on disk: the one's identity is among
// the other's or its parents'. This sees through every spelling the texts cannot (a share that is
// a local drive, a mount point).
bool anyOverlapOnDisk(const std::array<std::wstring, 3>& full)
{
    std::array<std::vector<FileId>, 3> chains;
    for (std::size_t i = 0; i < full.size(); ++i) {
        chains[i] = identities(full[i]);
    }
    for (std::size_t i = 0; i < full.size(); ++i) {
        const std::optional<FileId> own = idIfAny(full[i]);
        for (std::size_t j = 0; own && j < full.size(); ++j) {
            if (i != j && std::find(chains[j].begin(), chains[j].end(), *own) != chains[j].end()) {
                return true;
            }
        }
    }
    return false;
}

// A path in both forms the rules compare: its full path and its resolved path.
struct Spellings {
    std::wstring full;
    std::wstring resolved;
};

std::optional<Spellings> spellings(const std::wstring& path)
{
    std::error_code error;
    std::wstring full = fullPath(path, error);
    if (error) {
        return std::nullopt;
    }
    std::wstring resolved = resolvedFullPath(full);
    return Spellings{std::move(full), std::move(resolved)};
}

// True when `inner` (a file) lies inside one of the folders in either spelling; also when any of
// them has no full form.
bool liesInside(const std::wstring& inner, std::initializer_list<const std::wstring*> folders)
{
    const auto in = spellings(inner);
    if (!in) {
        return true;
    }
    for (const std::wstring* folder : folders) {
        const auto spelt = spellings(*folder);
        if (!spelt || isSameOrInside(in->full, spelt->full, equalIgnoringCase)
            || isSameOrInside(in->resolved, spelt->resolved, equalIgnoringCase)) {
            return true;
        }
    }
    return false;
}

// True when two resolved paths name the same folder.
bool sameFolder(std::wstring_view a, std::wstring_view b)
{
    return isSameOrInside(a, b, equalIgnoringCase) && isSameOrInside(b, a, equalIgnoringCase);
}

// An install folder that is there must be an installation: hold --exe as a file. One that is
// missing, or that this process may not look into, is left to the write check (and the elevated
// copy, which checks again); an --exe that names no file inside a folder to the release check.
bool holdsApplication(const UpdateOptions& options)
{
    const auto install = knownFileKind(options.installFolder);
    if (!install || *install == FileKind::missing || !isNameInsideFolder(options.exeName)) {
        return true;
    }
    const auto executable = knownFileKind(joinPath(options.installFolder, options.exeName));
    return !executable || *executable == FileKind::file;
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
    std::error_code error;
    const std::wstring full = fullPath(path, error);
    return !error && !pathsEqual(full, rootPath(full));
}

bool isLogOutsideFolders(const UpdateOptions& options)
{
    return isAcceptedPathForm(options.logPath) && isAcceptedPathForm(options.installFolder)
        && isAcceptedPathForm(options.backupFolder) && isAcceptedPathForm(options.releaseFolder)
        && !liesInside(options.logPath, {&options.installFolder, &options.backupFolder, &options.releaseFolder});
}

std::optional<CheckedFolders> checkFolderSafety(const UpdateOptions& options, const std::wstring& updaterPath)
{
    const std::wstring& release = options.releaseFolder;
    const std::wstring& install = options.installFolder;
    const std::wstring& backup = options.backupFolder;
    if (!isLogOutsideFolders(options)) {
        return std::nullopt;
    }
    if (!isSafeFolder(install) || pathsEqual(release, install) || pathsEqual(backup, install)
        || pathsEqual(release, backup)) {
        return std::nullopt;
    }
    if (!isSafeFolder(release) || !isSafeFolder(backup)) {
        return std::nullopt;
    }

    std::array<std::wstring, 3> full;
    std::array<std::wstring, 3> resolved;
    const std::array<const std::wstring*, 3> texts = {&release, &install, &backup};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        auto spelt = spellings(*texts[i]);
        if (!spelt) {
            return std::nullopt;
        }
        full[i] = std::move(spelt->full);
        resolved[i] = std::move(spelt->resolved);
    }
    if (anyOverlap(full) || anyVolumeRoot(resolved) || anyOverlap(resolved) || anyOverlapOnDisk(full)) {
        return std::nullopt;
    }

    // An update cut off while it cleared the install folder may have removed --exe there: its
    // backup, kept, says so.
    if (liesInside(updaterPath, {&install, &backup})
        || (!holdsApplication(options) && !isUpdateUnderWay(readBackupMark(backup), idIfAny(full[1])))
        || knownFileKind(backup) == FileKind::file || isLinkOrUnknown(backup)) {
        return std::nullopt;
    }
    return CheckedFolders{std::move(resolved[0]), std::move(resolved[1]), std::move(resolved[2]),
                          idIfAny(full[0]), idIfAny(full[1]), idIfAny(full[2])};
}

bool checkFolderSafetyAgain(const UpdateOptions& options, const std::wstring& updaterPath,
                            const CheckedFolders& before)
{
    const auto now = checkFolderSafety(options, updaterPath);
    return now && sameFolder(now->release, before.release) && sameFolder(now->install, before.install)
        && sameFolder(now->backup, before.backup) && now->installId && now->installId == before.installId
        && now->backupId == before.backupId;
}

} // namespace quorila
