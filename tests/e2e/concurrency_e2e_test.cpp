// What other processes do while the updater runs: a second updater, and a folder replaced by a
// link during the wait for the application.

#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>

#include "e2e/e2e_support.h"
#include "folders/path_grammar.h"
#include "support/links.h"

namespace quorila::test {
namespace {

const std::wstring waitingLine = L"Quorila sürecinin kapanması bekleniyor...";
const std::wstring refusedLine = L"HATA: Güncelleme klasörleri güvenli değil.";

// Two updaters on one installation, started together and one while the other waits: one
// updates, the other ends with 11 having touched nothing.
TEST(ConcurrencyEndToEnd, OneUpdaterPerInstallFolder)
{
    for (const unsigned long gap : {0ul, 600ul}) {
        SCOPED_TRACE(gap);
        UpdateSetup setup;
        auto application = startProgram(joinPath(setup.install, setup.exeName), L"--run 2000");
        ASSERT_TRUE(application);
        auto first = startProgram(binProgram(L"QuorilaUpdater.exe"), setup.arguments(application->processId));
        Sleep(gap);
        auto second = startProgram(binProgram(L"QuorilaUpdater.exe"), setup.arguments(application->processId));
        ASSERT_TRUE(first && second);
        std::vector<unsigned long> codes = {waitForExit(*first, 120000).value_or(999),
                                            waitForExit(*second, 120000).value_or(999)};
        std::sort(codes.begin(), codes.end());

        EXPECT_EQ(codes, (std::vector<unsigned long>{0, 11}));
        const auto lines = logMessages(setup.log);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), L"Aynı kurulum klasöründe başka bir güncelleme çalışıyor."), 1);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), refusedLine), 1);
        EXPECT_EQ(withoutStartRecords(snapshot(setup.install)), setup.expectedNewInstall());
        EXPECT_EQ(snapshot(setup.backup), setup.oldInstall);
        EXPECT_EQ(startRecords(setup.install, 1).size(), 1u);
    }
}

// The folders are checked before a wait of up to a minute. A backup folder whose parent is
// replaced by a link meanwhile would have the backup step delete what the link reaches, a release
// folder's would install what the link reaches: the check after the wait refuses either with
// nothing touched.
TEST(ConcurrencyEndToEnd, AFolderReplacedByALinkDuringTheWaitIsRefused)
{
    for (const std::wstring name : {L"backup", L"release"}) {
        SCOPED_TRACE(testing::PrintToString(name));
        UpdateSetup setup;
        std::wstring& folder = name == L"backup" ? setup.backup : setup.release;
        makeFolder(setup.temp / L"kept");
        if (exists(folder)) {
            ASSERT_TRUE(MoveFileW(folder.c_str(), (setup.temp / (L"kept\\" + name)).c_str()));
        }
        folder = setup.temp / (L"kept\\" + name);
        const Tree kept = snapshot(setup.temp / L"kept");
        const Tree victim = {{name, "<dir>"}, {name + L"\\precious.txt", "not the updater's"}, {L"other.txt", "x"}};
        writeTree(setup.temp / L"victim", victim);
        auto application = startProgram(joinPath(setup.install, setup.exeName), L"--run 3000");
        ASSERT_TRUE(application);
        auto updater = startProgram(binProgram(L"QuorilaUpdater.exe"), setup.arguments(application->processId));
        ASSERT_TRUE(updater);
        ASSERT_TRUE(waitUntil(
            [&] {
                const auto lines = logMessages(setup.log);
                return std::find(lines.begin(), lines.end(), waitingLine) != lines.end();
            },
            20000));
        ASSERT_TRUE(MoveFileW((setup.temp / L"kept").c_str(), (setup.temp / L"moved").c_str()));
        const Link swapped(setup.temp / L"victim", setup.temp / L"kept");
        ASSERT_TRUE(swapped.made());

        EXPECT_EQ(waitForExit(*updater, 120000), 11u);

        EXPECT_EQ(logMessages(setup.log), (std::vector<std::wstring>{L"QuorilaUpdater başlatıldı.", waitingLine,
                                                                     L"Quorila süreci kapandı.", refusedLine}));
        EXPECT_EQ(snapshot(setup.temp / L"victim"), victim);
        EXPECT_EQ(snapshot(setup.temp / L"moved"), kept);
        EXPECT_EQ(snapshot(setup.install), setup.oldInstall);
    }
}

} // namespace
} // namespace quorila::test
