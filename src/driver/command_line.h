#pragma once

#include <optional>
#include <string>
#include <vector>

#include "driver/options.h"

namespace quorila {

// The process command line (GetCommandLineW) split by CommandLineToArgvW, program path first;
// nothing when the splitter returns no array.
std::optional<std::vector<std::wstring>> splitProcessCommandLine();

// The option map of this process's command line; empty when it cannot be split.
OptionMap parseCommandLine();

} // namespace quorila
