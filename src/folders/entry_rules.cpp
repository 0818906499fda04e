// The rule on single entries that the install-folder clearing applies: which entries belong to the
// installer. Pure text work, so that it is tested on every platform.

#include "folders/entry_rules.h"

#include <cstddef>
#include <cwctype>

#include "fs/path_grammar.h"

namespace quorila {

namespace {

constexpr std::wstring_view maintenancePrefix = L"unins";

} // namespace

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
