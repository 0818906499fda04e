#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorila {

// The process command line (GetCommandLineW) split by CommandLineToArgvW, program path first;
// nothing when the splitter returns no array.
std::optional<std::vector<std::wstring>> splitProcessCommandLine();

// One argument in the form CommandLineToArgvW reads back unchanged; never empty.
std::wstring quoteArgument(std::wstring_view argument);

// The arguments after the first (the program), each quoted, joined by one blank.
std::wstring joinRelaunchArguments(const std::vector<std::wstring>& arguments);

} // namespace quorila
