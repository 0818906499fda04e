#include <gtest/gtest.h>

#include "driver/scripted_fakes.h"
#include "driver/transaction.h"

namespace quorila {
namespace {

const UpdateOptions options{
    .pidText = L"4242",
    .releaseFolder = L"R:\\release",
    .installFolder = L"C:\\Program Files\\Quorila",
    .backupFolder = L"C:\\Backup\\Quorila",
    .exeName = L"Quorila.exe",
    .logPath = L"C:\\update.log",
};

const std::wstring exe = L"C:\\Program Files\\Quorila\\Quorila.exe";
const std::wstring wait = L"wait 4242";
const std::wstring backupLine = L"log Mevcut Quorila sürümü yedekleniyor: C:\\Backup\\Quorila";
const std::wstring removeBackup = L"removeTree C:\\Backup\\Quorila";
const std::wstring backup = L"copyTree C:\\Program Files\\Quorila -> C:\\Backup\\Quorila = ";
const std::wstring installLine = L"log Yeni release kuruluyor...";
const std::wstring clear = L"clear C:\\Program Files\\Quorila = ";
const std::wstring install = L"copyTree R:\\release -> C:\\Program Files\\Quorila = ";
const std::wstring copyBack = L"copyTree C:\\Backup\\Quorila -> C:\\Program Files\\Quorila = ";
const std::wstring verify = L"verify " + exe;
const std::wstring restart = L"restart " + exe;
const std::wstring successLine = L"log Güncelleme başarıyla uygulandı.";
const std::wstring installRollback = L"log Kurulum başarısız; rollback başlıyor.";
const std::wstring verifyRollback = L"log Yeni executable doğrulanamadı; rollback başlıyor.";

using fake::fail;

struct Row {
    const char* outcome;
    fake::Script script;
    std::vector<std::wstring> journal;
    ExitCode code;
};

// Every outcome of the transaction: which operations ran with which folders, the lines it wrote,
// what was started, and in which order (the old version starts before the failure box).
TEST(Transaction, EveryOutcomeRunsItsStepsInOrder)
{
    const std::vector<Row> rows = {
        {"application still running", {.applicationExits = false},
         {wait, fail(14, L"Quorila kapatılamadığı için güncelleme uygulanmadı.")}, ExitCode::ApplicationNotClosed},
        {"backup failed", {.copyResults = {false}},
         {wait, backupLine, removeBackup, backup + L"false", fail(15, L"Mevcut sürüm yedeklenemedi. Güncelleme yapılmadı.")},
         ExitCode::BackupFailed},
        {"installed and started", {},
         {wait, backupLine, removeBackup, backup + L"true", installLine, clear + L"true", install + L"true", verify,
          successLine, restart},
         ExitCode::Success},
        {"installed, start failed", {.restartSucceeds = false},
         {wait, backupLine, removeBackup, backup + L"true", installLine, clear + L"true", install + L"true", verify,
          successLine, restart,
          fail(20, L"Güncelleme tamamlandı ancak Quorila otomatik açılamadı. Uygulamayı kısayoldan yeniden açabilirsiniz.")},
         ExitCode::RestartFailed},
        {"clearing failed, rolled back", {.clearResults = {false, false}},
         {wait, backupLine, removeBackup, backup + L"true", installLine, clear + L"false", installRollback,
          clear + L"false", copyBack + L"true", restart, fail(17, L"Güncelleme uygulanamadı; eski sürüm geri yüklendi.")},
         ExitCode::InstallFailedRolledBack},
        {"copy failed, rolled back", {.copyResults = {true, false, true}},
         {wait, backupLine, removeBackup, backup + L"true", installLine, clear + L"true", install + L"false",
          installRollback, clear + L"true", copyBack + L"true", restart,
          fail(17, L"Güncelleme uygulanamadı; eski sürüm geri yüklendi.")},
         ExitCode::InstallFailedRolledBack},
        {"rolled back, old version fails to start: still 17", {.copyResults = {true, false, true}, .restartSucceeds = false},
         {wait, backupLine, removeBackup, backup + L"true", installLine, clear + L"true", install + L"false",
          installRollback, clear + L"true", copyBack + L"true", restart,
          fail(17, L"Güncelleme uygulanamadı; eski sürüm geri yüklendi.")},
         ExitCode::InstallFailedRolledBack},
        {"install failed, rollback failed", {.copyResults = {true, false, false}},
         {wait, backupLine, removeBackup, backup + L"true", installLine, clear + L"true", install + L"false",
          installRollback, clear + L"true", copyBack + L"false",
          fail(16, L"Güncelleme başarısız ve otomatik geri alma tamamlanamadı. Yedek klasör korunmuştur.")},
         ExitCode::InstallFailedRollbackFailed},
        {"verification failed, rolled back", {.newExecutableVerifies = false},
         {wait, backupLine, removeBackup, backup + L"true", installLine, clear + L"true", install + L"true", verify,
          verifyRollback, clear + L"true", copyBack + L"true", restart,
          fail(19, L"Yeni sürüm doğrulanamadı; eski sürüm geri yüklendi.")},
         ExitCode::VerificationFailedRolledBack},
        {"verification failed, rollback failed", {.copyResults = {true, true, false}, .newExecutableVerifies = false},
         {wait, backupLine, removeBackup, backup + L"true", installLine, clear + L"true", install + L"true", verify,
          verifyRollback, clear + L"true", copyBack + L"false",
          fail(18, L"Yeni sürüm doğrulanamadı ve rollback tamamlanamadı.")},
         ExitCode::VerificationFailedRollbackFailed},
        {"verification failed, rollback clearing failed but copy back worked",
         {.clearResults = {true, false}, .newExecutableVerifies = false},
         {wait, backupLine, removeBackup, backup + L"true", installLine, clear + L"true", install + L"true", verify,
          verifyRollback, clear + L"false", copyBack + L"true", restart,
          fail(19, L"Yeni sürüm doğrulanamadı; eski sürüm geri yüklendi.")},
         ExitCode::VerificationFailedRolledBack},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.outcome);
        fake::reset();
        fake::script() = row.script;
        UpdateLog log;
        EXPECT_EQ(runUpdateTransaction(options, 4242, log), row.code);
        EXPECT_EQ(fake::journal(), row.journal);
    }
}

TEST(Transaction, RollBackClearsThenCopiesTheBackupBackAndIgnoresTheClearing)
{
    for (bool clearResult : {true, false}) {
        for (bool copyResult : {true, false}) {
            fake::reset();
            fake::script().clearResults = {clearResult};
            fake::script().copyResults = {copyResult};
            UpdateLog log;
            EXPECT_EQ(rollBack(options, log), copyResult);
            EXPECT_EQ(fake::journal(), (std::vector<std::wstring>{clear + (clearResult ? L"true" : L"false"),
                                                                   copyBack + (copyResult ? L"true" : L"false")}));
        }
    }
}

} // namespace
} // namespace quorila
