#include "process/working_folder.h"

#include <string>

#include <windows.h>

#include "base/growing_text.h"

namespace quorila {

std::error_code leaveWorkingFolder()
{
    const auto system = growingText([](wchar_t* buffer, DWORD capacity) {
        return GetSystemDirectoryW(buffer, capacity);
    });
    if (!system || !SetCurrentDirectoryW(system->c_str())) {
        return {static_cast<int>(GetLastError()), std::system_category()};
    }
    return {};
}

} // namespace quorila
