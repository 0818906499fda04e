#pragma once

#include <optional>
#include <string>

#include "folders/folder_safety.h"
#include "fs/held.h"

namespace quorila {

// The three folders, held open from the moment they are checked to the end of the run, without
// delete sharing (on Windows none can be renamed or replaced meanwhile). Every later step acts on
// them or below them through these handles, never on what their paths reach by then.
struct HeldFolders {
    Held release;            // empty when it was not there (the release check then fails)
    Held install;
    Held backup;             // empty until the backup folder exists
    Held backupBase;         // while `backup` is empty: the nearest folder above it that exists,
    std::wstring backupRest; // and the names still to be made below that one, '\' between them
};

// Opens the folders as `checked` resolved them, each of which must still be the folder checked
// (its identity); the install folder must be there. Nothing when any of them cannot be held.
std::optional<HeldFolders> holdFolders(const CheckedFolders& checked);

} // namespace quorila
