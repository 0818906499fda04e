#include "base/options.h"

namespace quorila {

OptionMap pairOptionTokens(const std::vector<std::wstring>& tokens)
{
    OptionMap map;
    // Token 0 is the program path; pairs start at 1 and the position always moves by two.
    for (std::size_t i = 1; i + 1 < tokens.size(); i += 2) {
        const std::wstring& key = tokens[i];
        if (key.size() >= 2 && key.starts_with(L"--")) {
            map.insert_or_assign(key, tokens[i + 1]);
        }
    }
    return map;
}

std::wstring optionValue(const OptionMap& map, std::wstring_view name)
{
    const auto found = map.find(name);
    return found == map.end() ? std::wstring() : found->second;
}

UpdateOptions readUpdateOptions(const OptionMap& map)
{
    return UpdateOptions{
        .pidText = optionValue(map, L"--pid"),
        .releaseFolder = optionValue(map, L"--source"),
        .installFolder = optionValue(map, L"--target"),
        .backupFolder = optionValue(map, L"--backup"),
        .exeName = optionValue(map, L"--exe"),
        .logPath = optionValue(map, L"--log"),
        .elevatedCopy = optionValue(map, elevatedCopyOption) == L"1",
    };
}

bool hasAllOptions(const UpdateOptions& options)
{
    return !options.pidText.empty() && !options.releaseFolder.empty() && !options.installFolder.empty()
        && !options.backupFolder.empty() && !options.exeName.empty() && !options.logPath.empty();
}

std::vector<std::wstring> optionTokens(const UpdateOptions& options)
{
    std::vector<std::wstring> tokens = {L"",        L"--pid",    options.pidText,      L"--source", options.releaseFolder,
                                        L"--target", options.installFolder, L"--backup", options.backupFolder,
                                        L"--exe",    options.exeName,       L"--log",    options.logPath};
    if (options.elevatedCopy) {
        tokens.insert(tokens.end(), {std::wstring(elevatedCopyOption), L"1"});
    }
    return tokens;
}

} // namespace quorila
