#include <gtest/gtest.h>

#include "driver/preflight.h"
#include "driver/scripted_fakes.h"

namespace quorila {
namespace {

const UpdateOptions options{
    .pidText = L"4242",
    .releaseFolder = L"R:\\release",
    .installFolder = L"C:\\Quorila",
    .backupFolder = L"C:\\Backup",
    .exeName = L"Quorila.exe",
    .logPath = L"C:\\update.log",
};

const std::wstring safety = L"safety R:\\release C:\\Quorila C:\\Backup";
const std::wstring probe = L"probe C:\\Quorila";
const std::wstring pid = L"pid 4242";
const std::wstring package = L"package R:\\release Quorila.exe";
const std::wstring notice = L"log Kurulum klasörü yönetici yetkisi gerektiriyor; UAC isteniyor.";

using fake::fail;

struct Row {
    const char* situation;
    fake::Script script;
    std::vector<std::wstring> journal;
    PreflightResult result;
};

TEST(Preflight, ChecksRunInOrderAndTheFirstFailureEndsThem)
{
    const std::vector<Row> rows = {
        {"all checks pass", {}, {safety, probe, pid, package}, std::uint32_t{4242}},
        {"writable: elevation is never asked", {.elevated = true}, {safety, probe, pid, package}, std::uint32_t{4242}},
        // Unsafe folders: no probe file is made and no elevation is asked, even when not writable.
        {"unsafe folders", {.foldersSafe = false, .installWritable = false},
         {safety, fail(11, L"Güncelleme klasörleri güvenli değil.")}, ExitCode::UnsafeFolders},
        {"not writable, relaunched", {.installWritable = false},
         {safety, probe, L"elevated?", notice, L"relaunch"}, ExitCode::Success},
        {"not writable, relaunch refused", {.installWritable = false, .relaunchSucceeds = false},
         {safety, probe, L"elevated?", notice, L"relaunch",
          fail(21, L"Güncelleme için Windows yönetici izni alınamadı. Quorila değiştirilmedi.")},
         ExitCode::ElevationFailed},
        {"not writable although elevated: never relaunches", {.installWritable = false, .elevated = true},
         {safety, probe, L"elevated?", fail(22, L"Yönetici yetkisine rağmen kurulum klasörüne yazılamıyor.")},
         ExitCode::NotWritableWhileElevated},
        {"bad process id after the write check", {.processId = std::nullopt},
         {safety, probe, pid, fail(12, L"Quorila süreç numarası geçersiz.")}, ExitCode::InvalidProcessId},
        {"incomplete release after the process id", {.releaseComplete = false},
         {safety, probe, pid, package, fail(13, L"Hazırlanan release paketi eksik.")},
         ExitCode::IncompleteReleasePackage},
        {"not writable and a bad process id: elevation first", {.installWritable = false, .processId = std::nullopt},
         {safety, probe, L"elevated?", notice, L"relaunch"}, ExitCode::Success},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.situation);
        fake::reset();
        fake::script() = row.script;
        UpdateLog log;
        EXPECT_EQ(runPreflightChecks(options, log), row.result);
        EXPECT_EQ(fake::journal(), row.journal);
    }
}

} // namespace
} // namespace quorila
