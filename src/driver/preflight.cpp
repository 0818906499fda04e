#include "driver/preflight.h"

#include <cstdint>
#include <string>
#include <utility>

#include "driver/process_id.h"
#include "fs/path_grammar.h"

namespace quorila {

namespace {

constexpr std::wstring_view elevationNoticeLine = L"Kurulum klasörü yönetici yetkisi gerektiriyor; UAC isteniyor.";
constexpr std::wstring_view foreignCodeLine = L"Yönetici yetkili updater beklenmeyen bir kodla sonlandı: ";

// The elevated copy has done the update and started no application: started by it, the application
// would run elevated, and after an administrator typed their password, as that administrator. This
// copy, the user's, starts it where a version is in place (the new one, or the old one restored)
// and otherwise ends with the copy's code. The copy has shown its own box for every failure but a
// rollback's (17, 19): that box is this copy's, after the old version has started. A code the
// updater does not end with (a crash, an end from outside) is no answer: ElevationFailed.
ExitCode finishAfterElevatedCopy(const UpdateSteps& steps, const UpdateOptions& options, int copyEndedWith,
                                 UpdateLog& log)
{
    const std::optional<ExitCode> known = exitCodeFromNumber(copyEndedWith);
    if (!known) {
        // Unsigned decimal, as every number in the log (a crash's 0xC0000005 is 3221225477).
        logLine(steps, log, foreignCodeLine, std::to_wstring(static_cast<std::uint32_t>(copyEndedWith)));
        return steps.reportFailure(log, ExitCode::ElevationFailed);
    }
    const ExitCode copyEnded = *known;
    if (copyEnded != ExitCode::Success && copyEnded != ExitCode::InstallFailedRolledBack
        && copyEnded != ExitCode::VerificationFailedRolledBack) {
        return copyEnded;
    }
    const bool started = steps.restartApplication(joinPath(options.installFolder, options.exeName), log);
    if (copyEnded != ExitCode::Success) {
        return steps.reportFailure(log, copyEnded);
    }
    return started ? copyEnded : steps.reportFailure(log, ExitCode::RestartFailed);
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
        return {.endedWith = finishAfterElevatedCopy(steps, options, *copyEnded, log)};
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
