#include "process/elevation.h"

#include <windows.h>

#include "base/unique_handle.h"

namespace quorila {

bool isProcessElevated()
{
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return false;
    }

    TOKEN_ELEVATION elevation{};
    elevation.TokenIsElevated = 0;
    DWORD returnedLength = 0;
    const BOOL queried =
        GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &returnedLength);
    return queried && elevation.TokenIsElevated != 0;
}

} // namespace quorila
