// The state file's text: three lines, each exactly as written, so that anything else in its
// place (a user's file of that name, a damaged write) is no mark.

#include "folders/backup_mark.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace quorila {

namespace {

constexpr std::string_view stateNames[] = {"incomplete", "updating", "complete"};

} // namespace

bool isBackupMarkEntry(std::wstring_view relative)
{
    return relative == backupMarkName || relative == backupMarkTemporaryName;
}

std::string formatBackupMark(const BackupMark& mark)
{
    char install[64] = {};
    std::snprintf(install, sizeof install, "%016llx-%016llx%016llx", mark.install.volume, mark.install.high,
                  mark.install.low);
    return "QuorilaUpdater backup\r\nstate=" + std::string(stateNames[static_cast<int>(mark.state)])
        + "\r\ninstall=" + install + "\r\n";
}

std::optional<BackupMark> parseBackupMark(std::string_view text)
{
    constexpr std::string_view stateKey = "QuorilaUpdater backup\r\nstate=";
    constexpr std::string_view installKey = "\r\ninstall=";
    if (!text.starts_with(stateKey)) {
        return std::nullopt;
    }
    const std::size_t stateEnd = text.find(installKey);
    if (stateEnd == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view state = text.substr(stateKey.size(), stateEnd - stateKey.size());
    for (int index = 0; index < 3; ++index) {
        if (state != stateNames[index]) {
            continue;
        }
        BackupMark mark{static_cast<BackupState>(index), {}};
        const std::string install(text.substr(stateEnd + installKey.size()));
        if (std::sscanf(install.c_str(), "%16llx-%16llx%16llx", &mark.install.volume, &mark.install.high,
                        &mark.install.low) != 3) {
            return std::nullopt;
        }
        // Exactly the text this mark is written as, or no mark.
        return formatBackupMark(mark) == text ? std::optional<BackupMark>(mark) : std::nullopt;
    }
    return std::nullopt;
}

} // namespace quorila
