#pragma once

#include <string>

#include "fs/held.h"
#include "log/update_log.h"

namespace quorila {

// What a copy copies, which decides what it does with a link (a symbolic link, junction or mount
// point) below its source and with an entry already at its destination.
enum class CopyOf {
    // The installation into the backup: a linked folder is made as a plain, empty folder and a
    // linked file as an empty file; what lies behind a link is not the installation's and is never
    // read, and an installation holding one must stay updatable.
    installation,
    // The release into the install folder: a link fails the copy (a release is copied whole or
    // not at all).
    release,
    // The backup back into the install folder: as the installation, and a link already in the
    // install folder (an installer entry the clearing kept and the update never replaced) stays
    // as it is.
    backup,
};

// Copies every folder and file below the held folder `source` into the held folder
// `destination`, deleting nothing else; the backup folder's state file (top level) is never
// copied. `sourcePath` and `destinationPath` name them in the log. Every entry is read through a
// handle opened relative to the folder it was listed in, and written into an entry just created
// relative to its new folder: an entry already at the destination is removed as itself first (a
// link as the link, a hard link as this one name), a folder merged into; an entry this copy made
// itself is never removed again. Stops at the first failure after exactly one line (a refused
// link fails with "Dosya kopyalanamadı: " + its path), except a copy back, which goes on to
// restore everything it can, keeps a file it can neither remove nor write over when it is the
// backup's already, and returns false after a line for each entry it could not restore.
bool copyTree(const Held& source, const std::wstring& sourcePath, const Held& destination,
              const std::wstring& destinationPath, CopyOf what, UpdateLog& log);

} // namespace quorila
