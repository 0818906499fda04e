// QuorilaUpdater: replaces the Quorila installation with a prepared release.
// The Quorila application starts it with --pid --source --target --backup --exe --log and exits.

#include <windows.h>

#include "base/command_line.h"
#include "base/options.h"
#include "driver/exit_code.h"
#include "driver/failure_report.h"
#include "driver/preflight.h"
#include "driver/transaction.h"
#include "folders/folder_safety.h"
#include "log/update_log.h"

namespace quorila {
namespace {

constexpr std::wstring_view startedLine = L"QuorilaUpdater başlatıldı.";

ExitCode runUpdater()
{
    const auto tokens = splitProcessCommandLine();
    const UpdateOptions options = readUpdateOptions(tokens ? pairOptionTokens(*tokens) : OptionMap{});
    if (!hasAllOptions(options)) {
        // Before the log exists: the box alone, nothing created on disk.
        showErrorBox(exitCodeMessage(ExitCode::MissingParameters), ErrorBoxStyle::IconOnly);
        return ExitCode::MissingParameters;
    }

    // A log that folder safety will refuse is not even opened: opening it would create it (and its
    // folders) where nothing may be touched. The refusal then shows its box without a log.
    UpdateLog log = isLogOutsideFolders(options) ? openUpdateLog(options.logPath) : UpdateLog{};
    logLine(log, startedLine);

    const PreflightResult preflight = runPreflightChecks(options, log);
    const ExitCode code =
        preflight.endedWith ? *preflight.endedWith : runUpdateTransaction(options, preflight.pass, log);

    closeUpdateLog(log);
    return code;
}

} // namespace
} // namespace quorila

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return static_cast<int>(quorila::runUpdater());
}
