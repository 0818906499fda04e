#pragma once

#include <string>

#include "log/update_log.h"

namespace quorila {

// What a copy does with a link (or other reparse point) below its source.
enum class LinksInSource {
    // A linked folder is made as a plain, empty folder and a linked file is copied from its
    // target: what lies behind a link is not the installation's, and an installation holding one
    // must stay updatable (the backup and the copy back).
    madePlain,
    // The copy fails there: a release is copied whole or not at all.
    refused,
};

// Copies every folder and regular file below `source` into `destination` (created if needed),
// overwriting files, deleting nothing; the backup folder's state file (top level) is never
// copied. Stops at the first failure after exactly one line; a refused link fails with
// "Dosya kopyalanamadı: " + its path.
bool copyTree(const std::wstring& source, const std::wstring& destination, LinksInSource links, UpdateLog& log);

} // namespace quorila
