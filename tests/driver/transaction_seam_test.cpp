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
const PreflightPass pass{
    4242, {L"\\\\?\\R:\\release", L"\\\\?\\C:\\PROGRA~1\\Quorila", L"\\\\?\\C:\\Backup\\Quorila", FileId{1, 7}, FileId{1, 9}}};

const std::wstring exe = L"C:\\Program Files\\Quorila\\Quorila.exe";
const std::wstring lock = L"lock 7";
const std::wstring wait = L"wait 4242";
const std::wstring again = L"safety again C:\\Program Files\\Quorila U:\\QuorilaUpdater.exe \\\\?\\C:\\PROGRA~1\\Quorila";
const std::wstring backupLine = L"log Mevcut Quorila sürümü yedekleniyor: C:\\Backup\\Quorila";
const std::wstring removeBackup = L"remove C:\\Backup\\Quorila = ";
const std::wstring backup = L"copyTree C:\\Program Files\\Quorila -> C:\\Backup\\Quorila = ";
const std::wstring still = L"still C:\\Program Files\\Quorila \\\\?\\C:\\PROGRA~1\\Quorila = ";
const std::wstring stillBackup = L"still C:\\Backup\\Quorila \\\\?\\C:\\Backup\\Quorila = ";
const std::wstring installLine = L"log Yeni release kuruluyor...";
const std::wstring clear = L"clear C:\\Program Files\\Quorila 7 = ";
const std::wstring install = L"copyTree R:\\release -> C:\\Program Files\\Quorila refusing links = ";
const std::wstring copyBack = L"copyTree C:\\Backup\\Quorila -> C:\\Program Files\\Quorila = ";
const std::wstring verify = L"verify " + exe;
const std::wstring restart = L"restart " + exe;
const std::wstring successLine = L"log Güncelleme başarıyla uygulandı.";
const std::wstring installRollback = L"log Kurulum başarısız; rollback başlıyor.";
const std::wstring verifyRollback = L"log Yeni executable doğrulanamadı; rollback başlıyor.";
const std::wstring busyLine = L"log Aynı kurulum klasöründe başka bir güncelleme çalışıyor.";
// Everything up to the clearing when all goes well.
const std::vector<std::wstring> backedUp = {lock, wait, again, backupLine, removeBackup + L"true", stillBackup + L"true",
                                            backup + L"true", still + L"true", installLine};

using fake::fail;

std::vector<std::wstring> after(std::vector<std::wstring> head, const std::vector<std::wstring>& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

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
        {"another updater holds the install folder", {.lockFree = false}, {lock, busyLine, fail(11)},
         ExitCode::UnsafeFolders},
        {"application still running", {.applicationExits = false}, {lock, wait, fail(14)},
         ExitCode::ApplicationNotClosed},
        {"folders changed during the wait", {.foldersStillSafe = false}, {lock, wait, again, fail(11)},
         ExitCode::UnsafeFolders},
        {"old backup not removed", {.oldBackupRemoved = false},
         {lock, wait, again, backupLine, removeBackup + L"false", fail(15)}, ExitCode::BackupFailed},
        {"backup folder replaced while the old one was removed", {.stillFolder = {false}},
         {lock, wait, again, backupLine, removeBackup + L"true", stillBackup + L"false", fail(11)},
         ExitCode::UnsafeFolders},
        {"backup failed", {.copyResults = {false}},
         {lock, wait, again, backupLine, removeBackup + L"true", stillBackup + L"true", backup + L"false", fail(15)},
         ExitCode::BackupFailed},
        {"install folder replaced during the backup", {.stillFolder = {true, false}},
         {lock, wait, again, backupLine, removeBackup + L"true", stillBackup + L"true", backup + L"true",
          still + L"false", fail(11)},
         ExitCode::UnsafeFolders},
        {"installed and started", {},
         after(backedUp, {clear + L"true", install + L"true", verify, successLine, restart}), ExitCode::Success},
        {"installed, start failed", {.restartSucceeds = false},
         after(backedUp, {clear + L"true", install + L"true", verify, successLine, restart, fail(20)}),
         ExitCode::RestartFailed},
        {"clearing failed, rolled back", {.clearResults = {false, false}},
         after(backedUp, {clear + L"false", installRollback, still + L"true", clear + L"false", copyBack + L"true",
                          restart, fail(17)}),
         ExitCode::InstallFailedRolledBack},
        {"copy failed, rolled back", {.copyResults = {true, false, true}},
         after(backedUp, {clear + L"true", install + L"false", installRollback, still + L"true", clear + L"true",
                          copyBack + L"true", restart, fail(17)}),
         ExitCode::InstallFailedRolledBack},
        {"rolled back, old version fails to start: still 17", {.copyResults = {true, false, true}, .restartSucceeds = false},
         after(backedUp, {clear + L"true", install + L"false", installRollback, still + L"true", clear + L"true",
                          copyBack + L"true", restart, fail(17)}),
         ExitCode::InstallFailedRolledBack},
        {"install failed, rollback failed", {.copyResults = {true, false, false}},
         after(backedUp, {clear + L"true", install + L"false", installRollback, still + L"true", clear + L"true",
                          copyBack + L"false", fail(16)}),
         ExitCode::InstallFailedRollbackFailed},
        {"install failed, install folder replaced meanwhile: nothing is cleared or copied",
         {.stillFolder = {true, true, false}, .copyResults = {true, false}},
         after(backedUp, {clear + L"true", install + L"false", installRollback, still + L"false", fail(16)}),
         ExitCode::InstallFailedRollbackFailed},
        {"verification failed, rolled back", {.newExecutableVerifies = false},
         after(backedUp, {clear + L"true", install + L"true", verify, verifyRollback, still + L"true", clear + L"true",
                          copyBack + L"true", restart, fail(19)}),
         ExitCode::VerificationFailedRolledBack},
        {"verification failed, rollback failed", {.copyResults = {true, true, false}, .newExecutableVerifies = false},
         after(backedUp, {clear + L"true", install + L"true", verify, verifyRollback, still + L"true", clear + L"true",
                          copyBack + L"false", fail(18)}),
         ExitCode::VerificationFailedRollbackFailed},
        {"verification failed, rollback clearing failed but copy back worked",
         {.clearResults = {true, false}, .newExecutableVerifies = false},
         after(backedUp, {clear + L"true", install + L"true", verify, verifyRollback, still + L"true",
                          clear + L"false", copyBack + L"true", restart, fail(19)}),
         ExitCode::VerificationFailedRolledBack},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.outcome);
        fake::reset();
        fake::script() = row.script;
        UpdateLog log;
        EXPECT_EQ(runUpdateTransaction(options, pass, log), row.code);
        EXPECT_EQ(fake::journal(), row.journal);
    }
}

} // namespace
} // namespace quorila
