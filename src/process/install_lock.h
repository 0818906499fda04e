#pragma once

#include <string>

#include "process/unique_handle.h"

namespace quorila {

// Makes this process the one updater working on the install folder until the returned handle
// closes (at the latest when the process ends). `resolvedInstall` is the folder's resolved path,
// so that every spelling of one folder meets the same lock; letter case is ignored. An invalid
// handle when another updater holds it or the lock cannot be made. Silent.
UniqueHandle lockInstallFolder(const std::wstring& resolvedInstall);

} // namespace quorila
