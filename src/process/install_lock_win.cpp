#include "process/install_lock.h"

#include <cwchar>
#include <string>

#include <windows.h>

namespace quorila {

UniqueHandle lockInstallFolder(const FileId& install)
{
    // "Global\" makes one lock for every session: an updater started in another session, or the
    // elevated copy, meets it as well.
    wchar_t name[96] = {};
    std::swprintf(name, 96, L"Global\\QuorilaUpdater-%016llx-%016llx%016llx", install.volume, install.high,
                  install.low);
    UniqueHandle mutex(CreateMutexW(nullptr, FALSE, name));
    if (!mutex) {
        return UniqueHandle(); // made by an account whose lock this one may not open: held
    }
    // Abandoned: an earlier updater ended without letting go; the lock is this one's now. The
    // handle's closing at the end of the run hands the lock on in the same way.
    const DWORD result = WaitForSingleObject(mutex.get(), 0);
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) {
        return UniqueHandle();
    }
    return mutex;
}

} // namespace quorila
