// The two rules about single entries that the tree copy and the install-folder clearing apply:
// where a listed entry lies below the listed folder, and which entries belong to the installer.
// Pure text work, so that it is tested on every platform.

#include "folders/entry_rules.h"

#include <cstddef>
#include <cwctype>

#include "fs/path_grammar.h"

namespace quorila {

namespace {

constexpr std::wstring_view maintenancePrefix = L"unins";

} // namespace

std::optional<std::wstring> relativeBelow(std::wstring_view source, std::wstring_view entryPath)
{
    if (source.empty() || entryPath.size() <= source.size() || entryPath.substr(0, source.size()) != source) {
        return std::nullopt;
    }
    std::wstring_view rest = entryPath.substr(source.size());
    // The listing joins the source and the name as a path join does: a separator comes between
    // them unless the source already ends in one or is a bare drive designator.
    const bool separatorNeeded = !isSeparator(source.back()) && !isDriveDesignator(source);
    if (separatorNeeded && !isSeparator(rest.front())) {
        return std::nullopt; // "C:\src" against "C:\src2\a"
    }
    while (!rest.empty() && isSeparator(rest.front())) {
        rest.remove_prefix(1);
    }
    // Every element a real name, and no root of its own (a drive or server in front would make
    // the join leave the destination).
    if (!staysBelow(rest, false)) {
        return std::nullopt;
    }
    return std::wstring(rest);
}

bool isInstallerMaintenanceFile(std::wstring_view path)
{
    const std::wstring_view name = fileName(path);
    if (name.size() < maintenancePrefix.size()) {
        return false;
    }
    // towlower in the runtime's default locale (never changed by the updater) lowers A to Z only,
    // so "UNINS" matches and a Turkish dotted or dotless i does not.
    for (std::size_t i = 0; i < maintenancePrefix.size(); ++i) {
        const auto lowered = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(name[i])));
        if (lowered != maintenancePrefix[i]) {
            return false;
        }
    }
    return true;
}

} // namespace quorila
