#include "driver/preflight.h"

#include <utility>

#include "driver/failure_report.h"
#include "driver/release_package.h"
#include "folders/folder_safety.h"
#include "process/relaunch.h"
#include "process/write_access.h"

namespace quorila {

namespace {

constexpr std::wstring_view elevationNoticeLine = L"Kurulum klasörü yönetici yetkisi gerektiriyor; UAC isteniyor.";

} // namespace

PreflightResult runPreflightChecks(const UpdateOptions& options, UpdateLog& log)
{
    auto folders = checkFolderSafety(options, ownExecutablePath());
    if (!folders) {
        return {.endedWith = reportFailure(log, ExitCode::UnsafeFolders)};
    }

    if (!canWriteFolder(options.installFolder)) {
        // An elevated process never relaunches itself: it cannot gain more rights.
        if (isProcessElevated()) {
            return {.endedWith = reportFailure(log, ExitCode::NotWritableWhileElevated)};
        }
        logLine(log, elevationNoticeLine);
        if (relaunchElevated(options, log)) {
            return {.endedWith = ExitCode::Success}; // the elevated copy carries on with the update
        }
        return {.endedWith = reportFailure(log, ExitCode::ElevationFailed)};
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
