#pragma once

#include "base/unique_handle.h"
#include "fs/file_ops.h"

namespace quorila {

// Makes this process the one updater working on the install folder until the returned handle
// closes (at the latest when the process ends). The lock belongs to the folder's identity on disk,
// so that every spelling of one folder meets the same lock. An invalid handle when another updater
// holds it or the lock cannot be made. Silent.
UniqueHandle lockInstallFolder(const FileId& install);

} // namespace quorila
