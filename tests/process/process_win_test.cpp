// Starting and relaunching real processes under Wine.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "folders/path_grammar.h"
#include "log/update_log.h"
#include "process/relaunch.h"
#include "process/restart.h"
#include "base/unique_handle.h"
#include "support/links.h"
#include "support/test_support.h"

namespace quorila {
namespace {

using test::TempFolder;
using Lines = std::vector<std::wstring>;

constexpr wchar_t kRestarted[] = L"Quorila yeniden başlatıldı.";
constexpr wchar_t kRestartFailed[] = L"Quorila yeniden başlatılamadı. Win32 hata: ";
constexpr wchar_t kCommandNotBuilt[] = L"Yönetici yetkili updater komutu hazırlanamadı.";
constexpr wchar_t kElevationRefused[] = L"Yönetici izni alınamadı. Win32 hata: ";
constexpr wchar_t kRelaunched[] = L"Updater yönetici yetkisiyle yeniden başlatıldı.";

// Calls `call` with a log of its own at `logPath` (removed first); its result, and the lines it logged.
template <typename Call>
std::pair<bool, Lines> logged(const std::wstring& logPath, Call call)
{
    DeleteFileW(logPath.c_str());
    UpdateLog log = openUpdateLog(logPath);
    const bool result = call(log);
    closeUpdateLog(log);
    return {result, test::logMessages(logPath)};
}

// Copies the fake application to `path`, creating the folders above it.
void placeFakeApplication(const std::wstring& path)
{
    test::makeFolder(std::wstring(parentPath(path)));
    ASSERT_TRUE(CopyFileW(test::binProgram(L"fake_quorila.exe").c_str(), path.c_str(), FALSE));
}

// Waits (at most 30 s) for a file that another process writes; its content, or nothing.
std::optional<std::string> awaitFile(const std::wstring& path, const std::string& completeWhenEndingWith)
{
    std::optional<std::string> content;
    const bool complete = test::waitUntil(
        [&] { return (content = test::readFile(path)) && content->ends_with(completeWhenEndingWith); }, 30000);
    return complete ? content : std::nullopt;
}

TEST(RestartApplication, StartsTheExecutableQuotedAndInItsOwnFolder)
{
    // install folder and --exe, both below the test folder
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"install", L"Quorila.exe"},
        {L"Program Files\\Quorila Uygulaması", L"Quorila.exe"},
        {L"install", L"bin\\Quorila.exe"},
    };
    for (const auto& [installFolder, exeName] : cases) {
        SCOPED_TRACE(testing::PrintToString(exeName));
        TempFolder temp;
        const std::wstring executable = joinPath(temp / installFolder, exeName);
        placeFakeApplication(executable);
        const test::Tree before = test::snapshot(temp.path());

        const auto [started, lines] = logged(temp / L"update.log", [&](UpdateLog& log) {
            return restartApplication(executable, log);
        });
        EXPECT_TRUE(started);
        EXPECT_EQ(lines, Lines{kRestarted});

        const std::wstring folder(parentPath(executable));
        const auto record = awaitFile(joinPath(folder, L"started.log"), "\r\n");
        ASSERT_TRUE(record) << "the application did not record its start";
        EXPECT_EQ(test::fromUtf8(*record),
                  L"exe=" + executable + L"\tcwd=" + folder + L"\tcmd=\"" + executable + L"\"\tversion=\r\n");
        // Nothing else appeared or changed beside the record of the start and the log.
        test::Tree after = test::snapshot(temp.path());
        EXPECT_EQ(after.erase(joinPath(installFolder, joinPath(parentPath(exeName), L"started.log"))), 1u);
        EXPECT_EQ(after.erase(L"update.log"), 1u);
        EXPECT_EQ(after, before);
        // The application ends by itself (its program file stays in use until then).
        EXPECT_TRUE(test::waitUntil([&] { return DeleteFileW(executable.c_str()) != 0; }, 30000));
    }
}

TEST(RestartApplication, FailedStartLogsTheWin32ErrorAndChangesNothing)
{
    TempFolder temp;
    test::writeFile(temp / L"install\\Quorila.exe", "bu bir program değil\r\n");
    test::writeFile(temp / L"install\\data\\ayar.txt", "x");
    const test::Tree before = test::snapshot(temp / L"install");

    // a missing executable, and a text file named like a program
    const std::pair<const wchar_t*, unsigned long> cases[] = {{L"Yok.exe", ERROR_FILE_NOT_FOUND},
                                                              {L"Quorila.exe", ERROR_BAD_EXE_FORMAT}};
    for (const auto& c : cases) {
        const auto [started, lines] = logged(temp / L"update.log", [&](UpdateLog& log) {
            return restartApplication(joinPath(temp / L"install", c.first), log);
        });
        EXPECT_FALSE(started) << c.second;
        EXPECT_EQ(lines, Lines{kRestartFailed + std::to_wstring(c.second)});
    }
    EXPECT_EQ(test::snapshot(temp / L"install"), before);
}

TEST(RelaunchElevated, NewInstanceGetsTheSameArguments)
{
    // Under Wine "runas" starts the program without a prompt, so the relaunched probe can tell
    // what it was given.
    TempFolder temp;
    const std::wstring arguments = L"\"" + temp.path()
        + L"\" --pid 42 --target \"C:\\Program Files\\Quorila\\\\\" --exe \"\" "
          L"x\\\"y \"a\\\\\\\"b c\" \"sekme\there\" C:\\düz\\yol\\ Güncelleme";
    std::wstring expected = temp.path() + L"\n"; // the arguments as the probe writes them, one a line
    for (const wchar_t* argument : {L"--pid", L"42", L"--target", L"C:\\Program Files\\Quorila\\", L"--exe", L"", L"x\"y",
                                    L"a\\\"b c", L"sekme\there", L"C:\\düz\\yol\\", L"Güncelleme"}) {
        expected += argument + std::wstring(L"\n");
    }
    EXPECT_EQ(test::runProgram(test::binProgram(L"relaunch_probe.exe"), arguments), 0ul);
    EXPECT_EQ(test::fromUtf8(test::readFile(temp / L"first.txt").value_or("")), expected);
    const auto second = awaitFile(temp / L"second.txt", "Güncelleme\n");
    ASSERT_TRUE(second) << "the relaunched instance did not report";
    EXPECT_EQ(test::fromUtf8(*second), expected);
    EXPECT_EQ(test::logMessages(temp / L"log.txt"), Lines{kRelaunched});
}

// A command that cannot be built starts nothing; a start the shell refuses logs its Win32 error.
TEST(RelaunchElevated, FailuresLogOneLineAndStartNothing)
{
    TempFolder temp;
    const std::wstring application = temp / L"app\\Quorila.exe";
    placeFakeApplication(application);
    const test::Tree before = test::snapshot(temp.path());
    struct Case {
        std::wstring executable;
        std::wstring parameters;
        std::wstring line;
    };
    const Case cases[] = {
        {application, L"", kCommandNotBuilt},
        {L"", L"--pid 42", kCommandNotBuilt},
        {L"", L"", kCommandNotBuilt},
        {temp / L"Yok.exe", L"--pid 42", kElevationRefused + std::to_wstring(ERROR_FILE_NOT_FOUND)},
    };
    for (const Case& c : cases) {
        const auto [started, lines] = logged(temp / L"update.log", [&](UpdateLog& log) {
            return relaunchElevatedWith(c.executable, c.parameters, temp.path(), log);
        });
        EXPECT_FALSE(started);
        EXPECT_EQ(lines, Lines{c.line});
        DeleteFileW((temp / L"update.log").c_str());
        EXPECT_EQ(test::snapshot(temp.path()), before);
    }
}

// The elevated copy works where the first process did: a relative option names the same folder.
TEST(RelaunchElevated, NewInstanceStartsInTheGivenWorkingFolder)
{
    TempFolder temp;
    const std::wstring application = temp / L"app\\Quorila.exe";
    placeFakeApplication(application);
    test::makeFolder(temp / L"work");
    const auto [started, lines] = logged(temp / L"update.log", [&](UpdateLog& log) {
        return relaunchElevatedWith(application, L"--record", temp / L"work", log);
    });
    EXPECT_TRUE(started);
    EXPECT_EQ(lines, Lines{kRelaunched});
    const auto record = awaitFile(temp / L"app\\started.log", "\r\n");
    ASSERT_TRUE(record) << "the application did not record its start";
    EXPECT_NE(test::fromUtf8(*record).find(L"\tcwd=" + temp / L"work" + L"\t"), std::wstring::npos)
        << test::fromUtf8(*record);
    // Its working folder stays in use until it has ended.
    EXPECT_TRUE(test::waitUntil([&] { return RemoveDirectoryW((temp / L"work").c_str()) != 0; }, 30000));
}

} // namespace
} // namespace quorila
