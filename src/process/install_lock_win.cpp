#include "process/install_lock.h"

#include <cstdint>
#include <cwchar>
#include <string>

#include <windows.h>

namespace quorila {

namespace {

// The lock's name: a mutex name may hold no '\' and is limited in length, so the folder enters it
// as a hash of its upper-case form (the invariant case table, as the file system folds names).
// "Global\" makes one lock for every session: an updater started in another session, or the
// elevated copy, meets it as well.
std::wstring lockName(const std::wstring& resolvedInstall)
{
    std::wstring folded = resolvedInstall;
    if (!folded.empty()) {
        LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, resolvedInstall.c_str(),
                      static_cast<int>(resolvedInstall.size()), folded.data(), static_cast<int>(folded.size()),
                      nullptr, nullptr, 0);
    }
    std::uint64_t hash = 14695981039346656037ull; // 64-bit FNV-1a over the UTF-16 units
    for (const wchar_t unit : folded) {
        hash = (hash ^ static_cast<std::uint16_t>(unit)) * 1099511628211ull;
    }
    wchar_t digits[17] = {};
    std::swprintf(digits, 17, L"%016llx", static_cast<unsigned long long>(hash));
    return L"Global\\QuorilaUpdater-" + std::wstring(digits);
}

} // namespace

UniqueHandle lockInstallFolder(const std::wstring& resolvedInstall)
{
    if (resolvedInstall.empty()) {
        return UniqueHandle();
    }
    UniqueHandle mutex(CreateMutexW(nullptr, FALSE, lockName(resolvedInstall).c_str()));
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
