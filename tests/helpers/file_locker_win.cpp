// Holds a file or folder open with a chosen share mode, so that tests meet a real
// "in use by another process" fault.
//
//   file_locker.exe PATH SHARE_MODE READY_FILE
//
// Opens PATH for reading with SHARE_MODE (decimal, as CreateFileW takes it), creates the empty
// READY_FILE once the handle is held, and then sleeps until it is terminated. Exits 2 when PATH
// cannot be opened and 3 when READY_FILE cannot be created.

#include <windows.h>

#include <cwchar>

#include "base/unique_handle.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        return 1;
    }
    const DWORD shareMode = static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10));
    const quorila::UniqueHandle held(CreateFileW(argv[1], GENERIC_READ, shareMode, nullptr, OPEN_EXISTING,
                                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!held) {
        return 2;
    }
    {
        const quorila::UniqueHandle ready(
            CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!ready) {
            return 3;
        }
    }
    for (;;) {
        Sleep(INFINITE);
    }
}
