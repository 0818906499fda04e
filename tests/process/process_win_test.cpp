// Waiting for, starting and relaunching real processes, and the write probe, under Wine.

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "folders/path_grammar.h"
#include "log/update_log.h"
#include "process/relaunch.h"
#include "process/restart.h"
#include "process/unique_handle.h"
#include "process/wait.h"
#include "process/write_access.h"
#include "support/test_support.h"

namespace quorila {
namespace {

using test::TempFolder;

constexpr wchar_t kWaiting[] = L"Quorila sürecinin kapanması bekleniyor...";
constexpr wchar_t kExited[] = L"Quorila süreci kapandı.";
constexpr wchar_t kAlreadyGone[] = L"Ana Quorila süreci zaten kapalı veya erişilemiyor; devam ediliyor.";
constexpr wchar_t kRestarted[] = L"Quorila yeniden başlatıldı.";
constexpr wchar_t kRestartFailed[] = L"Quorila yeniden başlatılamadı. Win32 hata: ";
constexpr wchar_t kCommandNotBuilt[] = L"Yönetici yetkili updater komutu hazırlanamadı.";
constexpr wchar_t kElevationRefused[] = L"Yönetici izni alınamadı. Win32 hata: ";
constexpr wchar_t kRelaunched[] = L"Updater yönetici yetkisiyle yeniden başlatıldı.";

// Copies the fake application to `path`, creating the folders above it.
void placeFakeApplication(const std::wstring& path)
{
    test::makeFolder(std::wstring(parentPath(path)));
    ASSERT_TRUE(CopyFileW(test::binProgram(L"fake_quorila.exe").c_str(), path.c_str(), FALSE));
}

// Polls (at most 30 s) for a file that another process writes; its content, or nothing.
std::optional<std::string> awaitFile(const std::wstring& path, const std::string& completeWhenEndingWith)
{
    for (int i = 0; i < 3000; ++i) {
        const auto content = test::readFile(path);
        if (content && content->size() >= completeWhenEndingWith.size() &&
            content->ends_with(completeWhenEndingWith)) {
            return content;
        }
        Sleep(10);
    }
    return std::nullopt;
}

// Waits (at most 30 s each) for every running process started from `image`, so that the test
// folder holding the image can be removed. False when one is still running.
bool awaitEndOfProcessesFrom(const std::wstring& image)
{
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return false;
    }
    bool allEnded = true;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        const UniqueHandle process(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (!process) {
            continue;
        }
        std::wstring name(32768, L'\0');
        DWORD length = static_cast<DWORD>(name.size());
        if (!QueryFullProcessImageNameW(process.get(), 0, name.data(), &length)) {
            continue;
        }
        name.resize(length);
        if (CompareStringOrdinal(name.c_str(), -1, image.c_str(), -1, TRUE) == CSTR_EQUAL &&
            WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0) {
            allEnded = false;
        }
    }
    return allEnded;
}

// ---- waiting for the application -------------------------------------------------------------

TEST(WaitForApplicationExit, WaitsUntilTheRunningApplicationEnds)
{
    TempFolder temp;
    auto application = test::startProgram(test::binProgram(L"fake_quorila.exe"), L"--run 1000");
    ASSERT_TRUE(application);
    {
        UpdateLog log = openUpdateLog(temp / L"update.log");
        EXPECT_TRUE(waitForApplicationExit(application->processId, log));
        closeUpdateLog(log);
    }
    // It returned because the process ended, not before.
    EXPECT_EQ(test::waitForExit(*application, 0), 0ul);
    EXPECT_EQ(test::logMessages(temp / L"update.log"), (std::vector<std::wstring>{kWaiting, kExited}));
}

TEST(WaitForApplicationExit, ProcessThatIsGoneCountsAsClosed)
{
    TempFolder temp;
    std::uint32_t endedId = 0;
    {
        auto ended = test::startProgram(test::binProgram(L"fake_quorila.exe"), L"--run 0");
        ASSERT_TRUE(ended);
        ASSERT_EQ(test::waitForExit(*ended, 30000), 0ul);
        endedId = ended->processId;
    }
    // Wine drops an ended process a moment after its last handle is closed; from then on the id
    // no longer opens, which is the case under test.
    bool gone = false;
    for (int i = 0; i < 3000 && !gone; ++i) {
        gone = !UniqueHandle(OpenProcess(SYNCHRONIZE, FALSE, endedId));
        if (!gone) {
            Sleep(10);
        }
    }
    ASSERT_TRUE(gone) << "the ended process stays open";

    const std::vector<std::pair<const char*, std::uint32_t>> cases = {
        {"ended application", endedId},
        {"id that no process has", 0x7FFFFFFCu},
    };
    for (const auto& [name, processId] : cases) {
        const std::wstring logPath = temp / (std::wstring(L"update-") + std::to_wstring(processId) + L".log");
        UpdateLog log = openUpdateLog(logPath);
        EXPECT_TRUE(waitForApplicationExit(processId, log)) << name;
        closeUpdateLog(log);
        EXPECT_EQ(test::logMessages(logPath), std::vector<std::wstring>{kAlreadyGone}) << name;
    }
}

// ---- restarting the application --------------------------------------------------------------

struct RestartCase {
    const char* name;
    std::wstring installFolder; // below the test folder
    std::wstring exeName;       // as --exe gives it
};

TEST(RestartApplication, StartsTheExecutableQuotedAndInItsOwnFolder)
{
    const std::vector<RestartCase> cases = {
        {"plain folder", L"install", L"Quorila.exe"},
        {"folder with blanks", L"Program Files\\Quorila Uygulaması", L"Quorila.exe"},
        {"executable in a subfolder", L"install", L"bin\\Quorila.exe"},
    };
    for (const RestartCase& c : cases) {
        TempFolder temp;
        const std::wstring executable = joinPath(temp / c.installFolder, c.exeName);
        placeFakeApplication(executable);
        const test::Tree before = test::snapshot(temp.path());
        {
            UpdateLog log = openUpdateLog(temp / L"update.log");
            EXPECT_TRUE(restartApplication(executable, log)) << c.name;
            closeUpdateLog(log);
        }
        EXPECT_EQ(test::logMessages(temp / L"update.log"), std::vector<std::wstring>{kRestarted}) << c.name;

        const std::wstring startedLog = joinPath(parentPath(executable), L"started.log");
        const auto record = awaitFile(startedLog, "\r\n");
        ASSERT_TRUE(record) << c.name << ": the application did not record its start";
        EXPECT_TRUE(awaitEndOfProcessesFrom(executable)) << c.name;
        EXPECT_EQ(test::fromUtf8(*record), L"exe=" + executable + L"\tcwd=" + std::wstring(parentPath(executable)) +
                                               L"\tcmd=\"" + executable + L"\"\tversion=\r\n")
            << c.name;

        // Nothing else appeared or changed beside the record of the start and the log.
        test::Tree after = test::snapshot(temp.path());
        EXPECT_EQ(after.erase(joinPath(c.installFolder, joinPath(parentPath(c.exeName), L"started.log"))), 1u)
            << c.name;
        EXPECT_EQ(after.erase(L"update.log"), 1u) << c.name;
        EXPECT_EQ(after, before) << c.name;
    }
}

TEST(RestartApplication, FailedStartLogsTheWin32ErrorAndChangesNothing)
{
    TempFolder temp;
    test::writeFile(temp / L"install\\Quorila.exe", "bu bir program değil\r\n");
    test::writeFile(temp / L"install\\data\\ayar.txt", "x");
    const test::Tree before = test::snapshot(temp / L"install");

    struct FailCase {
        const char* name;
        std::wstring executable;
        unsigned long error;
    };
    const std::vector<FailCase> cases = {
        {"missing executable", temp / L"install\\Yok.exe", ERROR_FILE_NOT_FOUND},
        {"text file named like a program", temp / L"install\\Quorila.exe", ERROR_BAD_EXE_FORMAT},
    };
    for (const FailCase& c : cases) {
        const std::wstring logPath = temp / (std::wstring(L"update-") + std::to_wstring(c.error) + L".log");
        UpdateLog log = openUpdateLog(logPath);
        EXPECT_FALSE(restartApplication(c.executable, log)) << c.name;
        closeUpdateLog(log);
        EXPECT_EQ(test::logMessages(logPath), std::vector<std::wstring>{kRestartFailed + std::to_wstring(c.error)})
            << c.name;
    }
    EXPECT_EQ(test::snapshot(temp / L"install"), before);
}

// ---- write probe and elevation ---------------------------------------------------------------

TEST(CanWriteFolder, WritableFolderLeavesNoProbeBehind)
{
    TempFolder temp;
    test::writeFile(temp / L"install\\Quorila.exe", "exe");
    const test::Tree before = test::snapshot(temp.path());
    EXPECT_TRUE(canWriteFolder(temp / L"install"));
    EXPECT_TRUE(canWriteFolder(temp / L"install\\"));
    EXPECT_EQ(test::snapshot(temp.path()), before);
}

TEST(CanWriteFolder, FolderThatCannotTakeAFileIsNotWritable)
{
    TempFolder temp;
    test::writeFile(temp / L"file.txt", "not a folder");
    const test::Tree before = test::snapshot(temp.path());
    EXPECT_FALSE(canWriteFolder(temp / L"missing"));
    EXPECT_FALSE(canWriteFolder(temp / L"missing\\deeper\\"));
    EXPECT_FALSE(canWriteFolder(temp / L"file.txt"));
    EXPECT_EQ(test::snapshot(temp.path()), before);
}

TEST(CanWriteFolder, ProbeIsTheSameFileWithOrWithoutTrailingSeparator)
{
    // A file of the probe's name held open without sharing makes exactly that probe fail, so the
    // three spellings of the folder are shown to aim at the same file.
    TempFolder temp;
    const std::wstring install = temp / L"install";
    const std::wstring probe = joinPath(install, probeFileName(GetCurrentProcessId()));
    test::writeFile(probe, "held");
    test::makeFolder(temp / L"other");
    {
        test::FileLock lock(probe, 0);
        ASSERT_TRUE(lock.held());
        EXPECT_FALSE(canWriteFolder(install));
        EXPECT_FALSE(canWriteFolder(install + L"\\"));
        EXPECT_FALSE(canWriteFolder(install + L"/"));
        EXPECT_TRUE(canWriteFolder(temp / L"other"));
        EXPECT_TRUE(test::exists(probe));
    }
    // Once free, the probe replaces the stale file and removes it on close.
    EXPECT_TRUE(canWriteFolder(install + L"\\"));
    EXPECT_FALSE(test::exists(probe));
    EXPECT_EQ(test::snapshot(temp.path()), (test::Tree{{L"install", "<dir>"}, {L"other", "<dir>"}}));
}

TEST(IsProcessElevated, WineReportsAnElevatedToken)
{
    // Every process under Wine gets an elevated token, so only the "true" side shows here; the
    // "not elevated" decisions are tested through the preflight seam.
    EXPECT_TRUE(isProcessElevated());
    EXPECT_TRUE(isProcessElevated());
}

// ---- elevated relaunch -----------------------------------------------------------------------

std::string utf8Lines(const std::vector<std::wstring>& lines)
{
    std::string content;
    for (const std::wstring& line : lines) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0,
                                             nullptr, nullptr);
        std::string bytes(static_cast<std::size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), bytes.data(), size, nullptr,
                            nullptr);
        content += bytes + "\n";
    }
    return content;
}

TEST(RelaunchElevated, NewInstanceGetsTheSameArguments)
{
    // Under Wine "runas" starts the program without a prompt, so the relaunched probe can tell
    // what it was given.
    TempFolder temp;
    const std::wstring arguments = L"\"" + temp.path() +
                                   L"\" --pid 42 --target \"C:\\Program Files\\Quorila\\\\\" --exe \"\" "
                                   L"x\\\"y \"a\\\\\\\"b c\" \"sekme\there\" C:\\düz\\yol\\ Güncelleme";
    const std::vector<std::wstring> expected = {temp.path(),
                                                L"--pid",
                                                L"42",
                                                L"--target",
                                                L"C:\\Program Files\\Quorila\\",
                                                L"--exe",
                                                L"",
                                                L"x\"y",
                                                L"a\\\"b c",
                                                L"sekme\there",
                                                L"C:\\düz\\yol\\",
                                                L"Güncelleme"};
    EXPECT_EQ(test::runProgram(test::binProgram(L"relaunch_probe.exe"), arguments), 0ul);
    EXPECT_EQ(test::readFile(temp / L"first.txt"), utf8Lines(expected));
    const auto second = awaitFile(temp / L"second.txt", "Güncelleme\n");
    ASSERT_TRUE(second) << "the relaunched instance did not report";
    EXPECT_EQ(*second, utf8Lines(expected));
    EXPECT_EQ(test::logMessages(temp / L"log.txt"), std::vector<std::wstring>{kRelaunched});
}

TEST(RelaunchElevated, EmptyCommandStartsNothing)
{
    TempFolder temp;
    const std::wstring application = temp / L"app\\Quorila.exe";
    placeFakeApplication(application);
    const test::Tree before = test::snapshot(temp / L"app");
    const std::vector<std::pair<std::wstring, std::wstring>> cases = {
        {application, L""},
        {L"", L"--pid 42"},
        {L"", L""},
    };
    for (const auto& [executable, parameters] : cases) {
        const std::wstring logPath = temp / L"update.log";
        UpdateLog log = openUpdateLog(logPath);
        EXPECT_FALSE(relaunchElevatedWith(executable, parameters, log));
        closeUpdateLog(log);
        // The one line is this refusal, not an outcome of the shell.
        EXPECT_EQ(test::logMessages(logPath), std::vector<std::wstring>{kCommandNotBuilt});
        DeleteFileW(logPath.c_str());
    }
    EXPECT_EQ(test::snapshot(temp / L"app"), before);
}

TEST(RelaunchElevated, ShellFailureLogsTheWin32Error)
{
    TempFolder temp;
    UpdateLog log = openUpdateLog(temp / L"update.log");
    EXPECT_FALSE(relaunchElevatedWith(temp / L"Yok.exe", L"--pid 42", log));
    closeUpdateLog(log);
    EXPECT_EQ(test::logMessages(temp / L"update.log"),
              std::vector<std::wstring>{kElevationRefused + std::to_wstring(ERROR_FILE_NOT_FOUND)});
    EXPECT_EQ(test::snapshot(temp.path()), (test::Tree{{L"update.log", *test::readFile(temp / L"update.log")}}));
}

} // namespace
} // namespace quorila
