#pragma once

#include <string>

#include "base/unique_handle.h"
#include "fs/file_ops.h"

namespace quorila {

// Makes this process the one updater working on a folder until the returned handle closes (at
// the latest when the process ends). Each lock belongs to a folder as the checks resolved it, so
// that every spelling of one folder meets the same lock. An invalid handle when another updater holds it or
// the lock cannot be made. Silent.

// The install folder's lock, keyed by the folder's identity.
UniqueHandle lockInstallFolder(const FileId& install);

// The backup folder's lock, keyed by its resolved full path `backup` (letter case aside): the
// same key whether the backup folder is there yet or not, and whoever creates it meanwhile.
// Nothing is created on disk for it.
UniqueHandle lockBackupFolder(const std::wstring& backup);

} // namespace quorila
