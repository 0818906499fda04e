#include "process/own_executable.h"

#include <windows.h>

#include "base/growing_text.h"

namespace quorila {

std::wstring ownExecutablePath(std::error_code& error)
{
    auto path = growingText([](wchar_t* buffer, DWORD capacity) {
        return GetModuleFileNameW(nullptr, buffer, capacity);
    });
    error = path ? std::error_code() : std::error_code(static_cast<int>(GetLastError()), std::system_category());
    return path.value_or(std::wstring());
}

} // namespace quorila
