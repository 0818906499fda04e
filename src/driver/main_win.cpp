// QuorilaUpdater: replaces the Quorila installation with a prepared release.
// The Quorila application starts it with --pid --source --target --backup --exe --log and exits.

#include <windows.h>

#include <variant>

#include "driver/command_line.h"
#include "driver/exit_code.h"
#include "driver/options.h"
#include "driver/preflight.h"
#include "driver/transaction.h"
#include "log/failure_report.h"
#include "log/update_log.h"

namespace quorila {
namespace {

constexpr std::wstring_view startedLine = L"QuorilaUpdater başlatıldı.";

ExitCode runUpdater()
{
    const UpdateOptions options = readUpdateOptions(parseCommandLine());
    if (!hasAllOptions(options)) {
        // Before the log exists: the box alone, nothing created on disk.
        showErrorBox(exitCodeMessage(ExitCode::MissingParameters), ErrorBoxStyle::IconOnly);
        return ExitCode::MissingParameters;
    }

    UpdateLog log = openUpdateLog(options.logPath);
    logLine(log, startedLine);

    const PreflightResult preflight = runPreflightChecks(options, log);
    const ExitCode code = std::holds_alternative<ExitCode>(preflight)
        ? std::get<ExitCode>(preflight)
        : runUpdateTransaction(options, std::get<std::uint32_t>(preflight), log);

    closeUpdateLog(log);
    return code;
}

} // namespace
} // namespace quorila

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return static_cast<int>(quorila::runUpdater());
}
