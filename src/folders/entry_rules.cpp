// The two rules about single entries that the tree copy and the install-folder clearing apply:
// where a listed entry lies below the listed folder, and which entries belong to the installer.
// Pure text work, so that it is tested on every platform.

#include <cstddef>
#include <cwctype>
#include <optional>
#include <string>
#include <string_view>

#include "folders/install_clearing.h"
#include "folders/path_grammar.h"
#include "folders/tree_copy.h"

namespace quorila {

namespace {

constexpr std::wstring_view maintenancePrefix = L"unins";

bool isDriveDesignator(std::wstring_view path) noexcept
{
    return path.size() == 2 && path[1] == L':'
        && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

// True when every element of `subPath` is a real name: no "." or "..", and no root of its own
// (a drive or server in front would make the join leave the destination).
bool isPlainSubPath(std::wstring_view subPath) noexcept
{
    if (subPath.empty() || !rootName(subPath).empty() || isSeparator(subPath.front())) {
        return false;
    }
    std::size_t start = 0;
    while (start < subPath.size()) {
        std::size_t end = start;
        while (end < subPath.size() && !isSeparator(subPath[end])) {
            ++end;
        }
        const std::wstring_view element = subPath.substr(start, end - start);
        if (element == L"." || element == L"..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

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
    if (!isPlainSubPath(rest)) {
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
