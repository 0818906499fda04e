// The elevated relaunch: what the quoting writes, the platform's splitter reads back; the new
// instance starts in the working folder it is given.

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include <windows.h>
#include <shellapi.h>

#include "folders/path_grammar.h"
#include "process/relaunch.h"
#include "support/test_support.h"

namespace quorila::test {
namespace {

std::vector<std::wstring> split(const std::wstring& commandLine)
{
    int count = 0;
    const std::unique_ptr<wchar_t*, decltype(&LocalFree)> argv(CommandLineToArgvW(commandLine.c_str(), &count),
                                                               &LocalFree);
    return argv ? std::vector<std::wstring>(argv.get(), argv.get() + count) : std::vector<std::wstring>{};
}

TEST(Relaunch, TheSplitterReadsBackWhatTheQuotingWrites)
{
    // Runs of backslashes before quotes and at the end come up more often than chance would.
    const std::wstring pieces[] = {L" ", L"\t", L"\"", L"\\", L"\\\\\"", L"\\\\\\", L"a", L"ğ", L"C:\\x y\\"};
    std::mt19937 random(20240611u);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::wstring> arguments{L"prog"};
        for (int count = static_cast<int>(random() % 5); count >= 0; --count) {
            std::wstring& argument = arguments.emplace_back();
            for (int length = static_cast<int>(random() % 5); length > 0; --length) {
                argument += pieces[random() % std::size(pieces)];
            }
        }
        EXPECT_EQ(split(L"prog " + joinRelaunchArguments(arguments)), arguments) << round;
    }
}

// Under Wine "runas" starts the program without a prompt.
TEST(Relaunch, TheNewInstanceStartsInTheGivenWorkingFolder)
{
    TempFolder temp;
    const std::wstring application = temp / L"app\\Quorila.exe";
    writeTree(temp / L"work", {{L"x", "x"}});
    writeFile(application, readFile(binProgram(L"fake_quorila.exe")).value_or(""));
    {
        UpdateLog log = openUpdateLog(temp / L"update.log");
        EXPECT_TRUE(relaunchElevatedWith(application, L"--record", temp / L"work", log));
        EXPECT_FALSE(relaunchElevatedWith(temp / L"missing.exe", L"--record", temp / L"work", log));
    }
    const auto starts = startRecords(temp / L"app", 1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].at(L"cwd"), temp / L"work");
    EXPECT_EQ(logMessages(temp / L"update.log"),
              (std::vector<std::wstring>{L"Updater yönetici yetkisiyle yeniden başlatıldı.",
                                         L"Yönetici izni alınamadı. Win32 hata: 2"}));
    // The application's program file stays in use until it has ended.
    EXPECT_TRUE(waitUntil([&] { return DeleteFileW(application.c_str()) != 0; }, 30000));
}

} // namespace
} // namespace quorila::test
