#include "driver/command_line.h"

#include <memory>

#include <windows.h>
#include <shellapi.h>

namespace quorila {

namespace {
// The array CommandLineToArgvW hands out, released with LocalFree.
struct ArgvDeleter {
    void operator()(wchar_t** argv) const noexcept { LocalFree(argv); }
};
} // namespace

std::optional<std::vector<std::wstring>> splitProcessCommandLine()
{
    int count = 0;
    const std::unique_ptr<wchar_t*, ArgvDeleter> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!argv) {
        return std::nullopt;
    }
    return std::vector<std::wstring>(argv.get(), argv.get() + count);
}

OptionMap parseCommandLine()
{
    const auto tokens = splitProcessCommandLine();
    return tokens ? pairOptionTokens(*tokens) : OptionMap{};
}

} // namespace quorila
