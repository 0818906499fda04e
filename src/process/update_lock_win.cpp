#include "process/update_lock.h"

#include <cstdint>
#include <cwchar>
#include <optional>
#include <string>
#include <system_error>

#include <windows.h>

#include "fs/path_grammar.h"

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
    const std::wstring parent(parentPath(backup));
    std::error_code error;
    createFolders(parent, error);
    std::optional<FileId> parentId = error ? std::nullopt : fileId(parent, error);
    parentId = error ? std::nullopt : parentId; // not to be asked: keyed by the path, as with a file in the way
    // The name (or, where no folder can hold it, whose backup step will fail, the whole path) in
    // the system's upper case, as the file system compares names, hashed to fit a lock's name
    // (FNV-1a); a collision only makes two updaters wait for each other.
    std::wstring name = parentId ? std::wstring(fileName(backup)) : backup;
    CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
    std::uint64_t hash = 14695981039346656037ull;
    for (const wchar_t unit : name) {
        hash = (hash ^ static_cast<std::uint16_t>(unit)) * 1099511628211ull;
    }
    const FileId folder = parentId.value_or(FileId{});
    wchar_t key[80] = {};
    std::swprintf(key, 80, L"%016llx-%016llx%016llx-%016llx", folder.volume, folder.high, folder.low,
                  static_cast<unsigned long long>(hash));
    return takeLock(key);
}

} // namespace quorila
