#include "base/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "base/unique_handle.h"

namespace quorila {

std::optional<std::vector<std::wstring>> splitProcessCommandLine()
{
    int count = 0;
    const UniqueLocal<wchar_t**> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!argv) {
        return std::nullopt;
    }
    return std::vector<std::wstring>(argv.get(), argv.get() + count);
}

} // namespace quorila
