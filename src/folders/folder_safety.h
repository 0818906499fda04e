#pragma once

#include <optional>
#include <string>

#include "base/options.h"
#include "fs/file_ops.h"
#include "fs/full_path.h"
#include "fs/path_compare.h"

namespace quorila {

// The single-folder rule: not empty, not a bare name, and its full form not a bare root.
bool isSafeFolder(const std::wstring& path);

// The three folders as the disk resolved them when they were checked, and their identities
// (nothing where a folder was not there).
struct CheckedFolders {
    std::wstring release;
    std::wstring install;
    std::wstring backup;
    std::optional<FileId> releaseId;
    std::optional<FileId> installId;
    std::optional<FileId> backupId;
};

// True when the log may be opened: its path and the three folders' are forms the updater accepts
// (isAcceptedPathForm) and the log lies inside none of the folders (full paths and resolved paths,
// letter case ignored). A log inside the install or backup folder would be deleted by the
// clearing or the backup step, or would make every update fail; inside the release it would be
// installed. (A log reached through a link is refused when it is opened.)
bool isLogOutsideFolders(const UpdateOptions& options);

// The folders as checked when the three folders, the log and the updater's own executable
// (`updaterPath`) may be worked on; nothing otherwise. Silent. The rules, in order:
//  - every path in a form the updater accepts, the log outside the install and backup folders;
//  - the textual ones: the install folder a real folder below a root, no two texts the same path;
//  - the release and backup folders held to the install folder's rule as well;
//  - no folder that resolves to a volume's root (through a link or a drive mapped to it), and
//    none the same as or inside another, on the full paths, on the resolved ones and on the
//    identities of the folders on disk (so that a link, a short name or another spelling of the
//    volume cannot disguise one folder as another);
//  - the updater not inside the install or the backup folder (it could not replace itself);
//  - an existing install folder holds --exe as a file (it is an installation, not its parent)
//    unless the backup says an update over it was cut off, and the backup folder is neither a file nor a link (its removal would not be its own).
std::optional<CheckedFolders> checkFolderSafety(const UpdateOptions& options, const std::wstring& updaterPath);

// The same rules once more, later in the run: true when they all still hold, every folder still
// resolves to the path it resolved to in `before`, and the install and backup folders are the
// same folders on disk (the install folder there). Silent.
bool checkFolderSafetyAgain(const UpdateOptions& options, const std::wstring& updaterPath,
                            const CheckedFolders& before);

} // namespace quorila
