#pragma once

#include <optional>
#include <string_view>

namespace quorila {

// The process exit code: the updater's answer to whoever started it. Numbers are fixed.
enum class ExitCode : int {
    Success = 0,
    MissingParameters = 10,
    UnsafeFolders = 11,
    InvalidProcessId = 12,
    IncompleteReleasePackage = 13,
    ApplicationNotClosed = 14,
    BackupFailed = 15,
    InstallFailedRollbackFailed = 16,
    InstallFailedRolledBack = 17,
    VerificationFailedRollbackFailed = 18,
    VerificationFailedRolledBack = 19,
    RestartFailed = 20,
    ElevationFailed = 21,
    NotWritableWhileElevated = 22,
};

// The one message that goes with a failure code (shown in the box, logged after "HATA: ");
// empty for Success.
std::wstring_view exitCodeMessage(ExitCode code);

// The code with that number; nothing for a number the updater never ends with (a crash's status,
// the code of a process ended from outside).
std::optional<ExitCode> exitCodeFromNumber(int number);

} // namespace quorila
