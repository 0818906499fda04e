#include "process/own_executable.h"

#include <windows.h>

#include "base/growing_text.h"

namespace quorila {

std::wstring ownExecutablePath()
{
    return growingText([](wchar_t* buffer, DWORD capacity) {
        return GetModuleFileNameW(nullptr, buffer, capacity);
    }).value_or(std::wstring());
}

} // namespace quorila
