#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quorila {

// Option name (with its leading "--", compared by code unit) to the value that followed it.
using OptionMap = std::map<std::wstring, std::wstring, std::less<>>;

// The option that marks the elevated copy, the updater's own: the copy a user's updater starts with
// administrator rights, followed by the value "1". Never passed by the application.
inline constexpr std::wstring_view elevatedCopyOption = L"--elevated-copy";

// The six values the updater runs on, taken verbatim from the command line (absent is empty), and
// whether this is the elevated copy.
struct UpdateOptions {
    std::wstring pidText;       // --pid
    std::wstring releaseFolder; // --source
    std::wstring installFolder; // --target
    std::wstring backupFolder;  // --backup
    std::wstring exeName;       // --exe
    std::wstring logPath;       // --log
    bool elevatedCopy = false;  // --elevated-copy 1
};

// Pairs split command-line tokens into options. tokens[0] is the program path and is skipped;
// then (1,2), (3,4), ... while both exist. A pair whose first token does not begin with "--" is
// skipped whole; the second token is always a value. A later occurrence of a key wins.
OptionMap pairOptionTokens(const std::vector<std::wstring>& tokens);

// Exact key lookup; the empty string when the key is absent.
std::wstring optionValue(const OptionMap& map, std::wstring_view name);

// Fills the six fields by their option names, and elevatedCopy.
UpdateOptions readUpdateOptions(const OptionMap& map);

// True when none of the six values is empty.
bool hasAllOptions(const UpdateOptions& options);

// The six options as command-line tokens, each name followed by its value, then the elevated copy's
// mark where set, after an empty program token (what pairOptionTokens reads back into the same
// options).
std::vector<std::wstring> optionTokens(const UpdateOptions& options);

} // namespace quorila
