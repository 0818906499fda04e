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

const std::wstring safety = L"safety R:\\release C:\\Quorila C:\\Backup U:\\QuorilaUpdater.exe";
const std::wstring probe = L"probe C:\\Quorila";
const std::wstring pid = L"pid 4242";
const std::wstring package = L"package R:\\release Quorila.exe";
const std::wstring notice = L"log Kurulum klasörü yönetici yetkisi gerektiriyor; UAC isteniyor.";

using fake::fail;

struct Row {
    const char* situation;
    fake::Script script;
    std::vector<std::wstring> journal;
    std::optional<ExitCode> code; // nothing: the checks pass
};

TEST(Preflight, ChecksRunInOrderAndTheFirstFailureEndsThem)
{
    const std::vector<Row> rows = {
        {"all checks pass", {}, {safety, probe, pid, package}, std::nullopt},
        {"writable: elevation is never asked", {.elevated = true}, {safety, probe, pid, package}, std::nullopt},
        // Unsafe folders: no probe file is made and no elevation is asked, even when not writable.
        {"unsafe folders", {.foldersSafe = false, .installWritable = false},
         {safety, fail(11)}, ExitCode::UnsafeFolders},
        {"not writable, relaunched", {.installWritable = false},
         {safety, probe, L"elevated?", notice, L"relaunch"}, ExitCode::Success},
        {"not writable, relaunch refused", {.installWritable = false, .relaunchSucceeds = false},
         {safety, probe, L"elevated?", notice, L"relaunch",
          fail(21)},
         ExitCode::ElevationFailed},
        {"not writable although elevated: never relaunches", {.installWritable = false, .elevated = true},
         {safety, probe, L"elevated?", fail(22)},
         ExitCode::NotWritableWhileElevated},
        {"bad process id after the write check", {.processId = std::nullopt},
         {safety, probe, pid, fail(12)}, ExitCode::InvalidProcessId},
        {"incomplete release after the process id", {.releaseComplete = false},
         {safety, probe, pid, package, fail(13)},
         ExitCode::IncompleteReleasePackage},
        {"not writable and a bad process id: elevation first", {.installWritable = false, .processId = std::nullopt},
         {safety, probe, L"elevated?", notice, L"relaunch"}, ExitCode::Success},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.situation);
        fake::reset();
        fake::script() = row.script;
        UpdateLog log;
        const PreflightResult result = runPreflightChecks(options, log);
        if (!result.endedWith) {
            ASSERT_FALSE(row.code) << "a pass where the run should end";
            EXPECT_EQ(result.pass.processId, 4242u);
            EXPECT_EQ(result.pass.folders.install, L"\\\\?\\C:\\Quorila") << "the folders as checked go on";
        } else {
            EXPECT_EQ(*result.endedWith, row.code);
        }
        EXPECT_EQ(fake::journal(), row.journal);
    }
}

} // namespace
} // namespace quorila
