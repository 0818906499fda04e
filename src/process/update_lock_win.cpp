#include "process/update_lock.h"

#include <cstdint>
#include <cwchar>
#include <string>

#include <windows.h>


namespace quorila {

namespace {

// Takes the named lock. "Global\" makes one lock for every session: an updater started in another
// session, or the elevated copy, meets it as well.
UniqueHandle takeLock(const wchar_t* key)
{
    wchar_t name[112] = {};
    std::swprintf(name, 112, L"Global\\QuorilaUpdater-%ls", key);
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

} // namespace

UniqueHandle lockInstallFolder(const FileId& install)
{
    wchar_t key[56] = {};
    std::swprintf(key, 56, L"%016llx-%016llx%016llx", install.volume, install.high, install.low);
    return takeLock(key);
}

UniqueHandle lockBackupFolder(const std::wstring& backup)
{
    // Keyed by the folder's path as the checks resolved it (the part that exists in its final
    // form, links and short names seen through), in the system's upper case, as the file system
    // compares names: the same key whether or not the folder, or folders above it, are there yet.
    // Nothing is created for it. Hashed to fit a lock's name (FNV-1a); a collision only makes two
    // updaters wait for each other.
    std::wstring name = backup;
    CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
    std::uint64_t hash = 14695981039346656037ull;
    for (const wchar_t unit : name) {
        hash = (hash ^ static_cast<std::uint16_t>(unit)) * 1099511628211ull;
    }
    wchar_t key[40] = {};
    std::swprintf(key, 40, L"backup-%016llx", static_cast<unsigned long long>(hash));
    return takeLock(key);
}

} // namespace quorila
