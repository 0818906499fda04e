#include "driver/preflight.h"

#include <utility>

#include "driver/process_id.h"
#include "fs/path_grammar.h"

namespace quorila {

namespace {

constexpr std::wstring_view elevationNoticeLine = L"Kurulum klasörü yönetici yetkisi gerektiriyor; UAC isteniyor.";

// The elevated copy has done the update, shown its own failure box and started no application:
// started by it, the application would run elevated, and after an administrator typed their
// password, as that administrator. This copy, the user's, starts it where a version is in place
// (the new one, or the old one restored) and otherwise ends with the copy's code.
ExitCode finishAfterElevatedCopy(const UpdateSteps& steps, const UpdateOptions& options, ExitCode copyEnded,
                                 UpdateLog& log)
{
    if (copyEnded != ExitCode::Success && copyEnded != ExitCode::InstallFailedRolledBack
        && copyEnded != ExitCode::VerificationFailedRolledBack) {
        return copyEnded;
    }
    const bool started = steps.restartApplication(joinPath(options.installFolder, options.exeName), log);
    if (!started && copyEnded == ExitCode::Success) {
        return steps.reportFailure(log, ExitCode::RestartFailed);
    }
    return copyEnded;
}

} // namespace

PreflightResult runPreflightChecks(const UpdateSteps& steps, const UpdateOptions& options, UpdateLog& log)
{
    // Without its own path the updater cannot tell whether it lies in a folder it would remove.
    std::error_code unknown;
    const std::wstring updaterPath = steps.ownExecutablePath(unknown);
    auto folders = unknown ? std::nullopt : steps.checkFolderSafety(options, updaterPath);
    if (!folders) {
        return {.endedWith = steps.reportFailure(log, ExitCode::UnsafeFolders)};
    }

    if (!steps.canWriteFolder(options.installFolder)) {
        // An elevated process never relaunches itself: it cannot gain more rights. Nor does the
        // elevated copy, whatever its token says: with UAC switched off "runas" gives a copy with
        // the same rights, which would start another, without end.
        if (options.elevatedCopy || steps.isProcessElevated()) {
            return {.endedWith = steps.reportFailure(log, ExitCode::NotWritableWhileElevated)};
        }
        steps.logLine(log, elevationNoticeLine);
        UpdateOptions copyOptions = options;
        copyOptions.elevatedCopy = true;
        const std::optional<int> copyEnded = steps.relaunchElevated(copyOptions, log);
        if (!copyEnded) {
            return {.endedWith = steps.reportFailure(log, ExitCode::ElevationFailed)};
        }
        return {.endedWith = finishAfterElevatedCopy(steps, options, static_cast<ExitCode>(*copyEnded), log)};
    }

    // From here on every step acts on the folders as checked, whatever their paths reach later.
    auto held = steps.holdFolders(*folders);
    if (!held) {
        return {.endedWith = steps.reportFailure(log, ExitCode::UnsafeFolders)};
    }
    const auto processId = parseProcessId(options.pidText);
    if (!processId) {
        return {.endedWith = steps.reportFailure(log, ExitCode::InvalidProcessId)};
    }
    if (!steps.checkReleasePackage(held->release, options.exeName)) {
        return {.endedWith = steps.reportFailure(log, ExitCode::IncompleteReleasePackage)};
    }
    return {.pass = PreflightPass{*processId, std::move(*folders), std::move(*held)}};
}

} // namespace quorila
