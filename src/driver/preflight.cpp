#include "driver/preflight.h"

#include <utility>

#include "driver/failure_report.h"
#include "driver/release_package.h"
#include "folders/folder_safety.h"
#include "fs/path_grammar.h"
#include "process/relaunch.h"
#include "process/restart.h"
#include "process/write_access.h"

namespace quorila {

namespace {

constexpr std::wstring_view elevationNoticeLine = L"Kurulum klasörü yönetici yetkisi gerektiriyor; UAC isteniyor.";

// The elevated copy has done the update, shown its own failure box and started no application:
// started by it, the application would run elevated, and after an administrator typed their
// password, as that administrator. This copy, the user's, starts it where a version is in place
// (the new one, or the old one restored) and otherwise ends with the copy's code.
ExitCode finishAfterElevatedCopy(const UpdateOptions& options, ExitCode copyEnded, UpdateLog& log)
{
    if (copyEnded != ExitCode::Success && copyEnded != ExitCode::InstallFailedRolledBack
        && copyEnded != ExitCode::VerificationFailedRolledBack) {
        return copyEnded;
    }
    const bool started = restartApplication(joinPath(options.installFolder, options.exeName), log);
    if (!started && copyEnded == ExitCode::Success) {
        return reportFailure(log, ExitCode::RestartFailed);
    }
    return copyEnded;
}

} // namespace

PreflightResult runPreflightChecks(const UpdateOptions& options, UpdateLog& log)
{
    auto folders = checkFolderSafety(options, ownExecutablePath());
    if (!folders) {
        return {.endedWith = reportFailure(log, ExitCode::UnsafeFolders)};
    }

    if (!canWriteFolder(options.installFolder)) {
        // An elevated process never relaunches itself: it cannot gain more rights. Nor does the
        // elevated copy, whatever its token says: with UAC switched off "runas" gives a copy with
        // the same rights, which would start another, without end.
        if (options.elevatedCopy || isProcessElevated()) {
            return {.endedWith = reportFailure(log, ExitCode::NotWritableWhileElevated)};
        }
        logLine(log, elevationNoticeLine);
        UpdateOptions copyOptions = options;
        copyOptions.elevatedCopy = true;
        const std::optional<int> copyEnded = relaunchElevated(copyOptions, log);
        if (!copyEnded) {
            return {.endedWith = reportFailure(log, ExitCode::ElevationFailed)};
        }
        return {.endedWith = finishAfterElevatedCopy(options, static_cast<ExitCode>(*copyEnded), log)};
    }

    const auto processId = parseProcessId(options.pidText);
    if (!processId) {
        return {.endedWith = reportFailure(log, ExitCode::InvalidProcessId)};
    }
    if (!checkReleasePackage(options.releaseFolder, options.exeName)) {
        return {.endedWith = reportFailure(log, ExitCode::IncompleteReleasePackage)};
    }
    return {.pass = PreflightPass{*processId, std::move(*folders)}};
}

} // namespace quorila
