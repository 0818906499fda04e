#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quorila {

// Option name (with its leading "--", compared by code unit) to the value that followed it.
using OptionMap = std::map<std::wstring, std::wstring, std::less<>>;

// The six values the updater runs on, taken verbatim from the command line; absent is empty.
struct UpdateOptions {
    std::wstring pidText;       // --pid
    std::wstring releaseFolder; // --source
    std::wstring installFolder; // --target
    std::wstring backupFolder;  // --backup
    std::wstring exeName;       // --exe
    std::wstring logPath;       // --log
};

// Pairs split command-line tokens into options. tokens[0] is the program path and is skipped;
// then (1,2), (3,4), ... while both exist. A pair whose first token does not begin with "--" is
// skipped whole; the second token is always a value. A later occurrence of a key wins.
OptionMap pairOptionTokens(const std::vector<std::wstring>& tokens);

// Exact key lookup; the empty string when the key is absent.
std::wstring optionValue(const OptionMap& map, std::wstring_view name);

// Fills the six fields by their option names.
UpdateOptions readUpdateOptions(const OptionMap& map);

// True when none of the six values is empty.
bool hasAllOptions(const UpdateOptions& options);

// The six options as command-line tokens, each name followed by its value, after an empty program
// token (what pairOptionTokens reads back into the same options).
std::vector<std::wstring> optionTokens(const UpdateOptions& options);

} // namespace quorila
