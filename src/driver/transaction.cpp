#include "driver/transaction.h"

#include <string>
#include <system_error>

#include "driver/release_package.h"
#include "folders/install_clearing.h"
#include "folders/path_grammar.h"
#include "folders/tree_copy.h"
#include "log/failure_report.h"
#include "process/restart.h"
#include "process/wait.h"

namespace quorila {

namespace {

constexpr std::wstring_view backupLine = L"Mevcut Quorila sürümü yedekleniyor: ";
constexpr std::wstring_view installLine = L"Yeni release kuruluyor...";
constexpr std::wstring_view successLine = L"Güncelleme başarıyla uygulandı.";
constexpr std::wstring_view installRollbackLine = L"Kurulum başarısız; rollback başlıyor.";
constexpr std::wstring_view verifyRollbackLine = L"Yeni executable doğrulanamadı; rollback başlıyor.";

// Copies the backup back and starts the old version; the old version is running before the
// failure box appears. `rolledBack` and `notRolledBack` are the codes of the two outcomes.
ExitCode rollBackAndReport(const UpdateOptions& options, const std::wstring& executable,
                           std::wstring_view announcement, ExitCode rolledBack, ExitCode notRolledBack,
                           UpdateLog& log)
{
    logLine(log, announcement);
    if (!rollBack(options, log)) {
        return reportFailure(log, notRolledBack);
    }
    restartApplication(executable, log); // its own line tells whether the old version started
    return reportFailure(log, rolledBack);
}

} // namespace

bool rollBack(const UpdateOptions& options, UpdateLog& log)
{
    clearInstallFolder(options.installFolder, log); // what it leaves is overwritten or stays
    return copyTree(options.backupFolder, options.installFolder, log);
}

ExitCode runUpdateTransaction(const UpdateOptions& options, std::uint32_t processId, UpdateLog& log)
{
    if (!waitForApplicationExit(processId, log)) {
        return reportFailure(log, ExitCode::ApplicationNotClosed);
    }

    logLine(log, backupLine, options.backupFolder);
    std::error_code ignored; // a stale backup that stays in part is overwritten by the copy
    removeTree(options.backupFolder, ignored);
    if (!copyTree(options.installFolder, options.backupFolder, log)) {
        return reportFailure(log, ExitCode::BackupFailed);
    }

    const std::wstring executable = joinPath(options.installFolder, options.exeName);
    logLine(log, installLine);
    if (!clearInstallFolder(options.installFolder, log) || !copyTree(options.releaseFolder, options.installFolder, log)) {
        return rollBackAndReport(options, executable, installRollbackLine, ExitCode::InstallFailedRolledBack,
                                 ExitCode::InstallFailedRollbackFailed, log);
    }
    if (!verifyNewExecutable(executable)) {
        return rollBackAndReport(options, executable, verifyRollbackLine, ExitCode::VerificationFailedRolledBack,
                                 ExitCode::VerificationFailedRollbackFailed, log);
    }

    logLine(log, successLine);
    if (!restartApplication(executable, log)) {
        return reportFailure(log, ExitCode::RestartFailed);
    }
    return ExitCode::Success;
}

} // namespace quorila
