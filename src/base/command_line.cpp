#include "base/command_line.h"

namespace quorila {

std::wstring quoteArgument(std::wstring_view argument)
{
    if (argument.empty()) {
        return L"\"\"";
    }
    if (argument.find_first_of(L" \t\"") == std::wstring_view::npos) {
        return std::wstring(argument);
    }

    // Backslashes only escape when a double quote follows them (inside the argument or the
    // closing one), so they are held back until the next unit shows which case applies.
    std::wstring quoted(1, L'"');
    std::size_t pendingBackslashes = 0;
    for (const wchar_t unit : argument) {
        if (unit == L'\\') {
            ++pendingBackslashes;
        } else if (unit == L'"') {
            quoted.append(pendingBackslashes * 2 + 1, L'\\');
            quoted.push_back(L'"');
            pendingBackslashes = 0;
        } else {
            quoted.append(pendingBackslashes, L'\\');
            quoted.push_back(unit);
            pendingBackslashes = 0;
        }
    }
    quoted.append(pendingBackslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

std::wstring joinRelaunchArguments(const std::vector<std::wstring>& arguments)
{
    std::wstring joined;
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        if (!joined.empty()) {
            joined.push_back(L' ');
        }
        joined += quoteArgument(arguments[index]);
    }
    return joined;
}

} // namespace quorila
