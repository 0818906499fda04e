#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>

#include "e2e/e2e_support.h"
#include "folders/path_grammar.h"
#include "support/links.h"

namespace quorila::test {
namespace {

const std::wstring started = L"QuorilaUpdater başlatıldı.";
const std::wstring waiting = L"Quorila sürecinin kapanması bekleniyor...";
const std::wstring closed = L"Quorila süreci kapandı.";
const std::wstring alreadyGone = L"Ana Quorila süreci zaten kapalı veya erişilemiyor; devam ediliyor.";
const std::wstring installing = L"Yeni release kuruluyor...";
const std::wstring keptDat = L"Installer bakım dosyası korunuyor: unins000.dat";
const std::wstring keptExe = L"Installer bakım dosyası korunuyor: unins000.exe";
const std::wstring success = L"Güncelleme başarıyla uygulandı.";
const std::wstring restarted = L"Quorila yeniden başlatıldı.";
const std::wstring installRollback = L"Kurulum başarısız; rollback başlıyor.";

// The log's messages with each run of "kept" lines in name order (the listing order is the file
// system's own).
std::vector<std::wstring> messages(const std::wstring& logPath)
{
    std::vector<std::wstring> lines = logMessages(logPath);
    const std::wstring kept = L"Installer bakım dosyası korunuyor: ";
    for (auto it = lines.begin(); it != lines.end();) {
        auto end = std::find_if(it, lines.end(), [&](const std::wstring& line) { return !line.starts_with(kept); });
        std::sort(it, end);
        it = end == it ? end + 1 : end;
    }
    return lines;
}

std::wstring backingUp(const UpdateSetup& setup)
{
    return L"Mevcut Quorila sürümü yedekleniyor: " + setup.backup;
}

TEST(UpdateEndToEnd, ReplacesTheInstallationOnceTheApplicationHasExited)
{
    UpdateSetup setup;
    // A stale backup of an earlier run must give way to exactly the installation being replaced.
    writeTree(setup.backup, {{L"stale.txt", "from an earlier run"}, {L"old", "<dir>"}, {L"old\\x.bin", "x"}});
    // The application, started from the install folder, ends about two seconds after the updater starts.
    auto application = startProgram(joinPath(setup.install, setup.exeName), L"--run 2000");
    ASSERT_TRUE(application.has_value());

    EXPECT_EQ(setup.runUpdater(application->processId), 0u);

    EXPECT_EQ(messages(setup.log), (std::vector<std::wstring>{started, waiting, closed, backingUp(setup), installing,
                                                              keptDat, keptExe, success, restarted}));
    EXPECT_TRUE(hasLogFormat(setup.log));
    const auto starts = startRecords(setup.install, 1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].version, L"2");
    EXPECT_EQ(starts[0].exe, joinPath(setup.install, setup.exeName));
    EXPECT_EQ(starts[0].cwd, setup.install);
    EXPECT_EQ(starts[0].cmd, L"\"" + joinPath(setup.install, setup.exeName) + L"\"");
    EXPECT_EQ(withoutStartRecords(snapshot(setup.install)), setup.expectedNewInstall());
    EXPECT_EQ(snapshot(setup.backup), setup.oldInstall);
    EXPECT_EQ(snapshot(setup.release), setup.newRelease);
}

TEST(UpdateEndToEnd, AnApplicationAlreadyGoneIsNotWaitedFor)
{
    UpdateSetup setup;
    EXPECT_EQ(setup.runUpdater(UpdateSetup::goneProcessId), 0u);
    EXPECT_EQ(messages(setup.log), (std::vector<std::wstring>{started, alreadyGone, backingUp(setup), installing,
                                                              keptDat, keptExe, success, restarted}));
    const auto starts = startRecords(setup.install, 1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].version, L"2");
    EXPECT_EQ(withoutStartRecords(snapshot(setup.install)), setup.expectedNewInstall());
    EXPECT_EQ(snapshot(setup.backup), setup.oldInstall);
}

TEST(UpdateEndToEnd, ALockedReleaseFileRollsBackAndStartsTheOldVersion)
{
    UpdateSetup setup;
    const std::wstring lockedFile = joinPath(setup.release, L"data\\settings.ini");
    FileLock lock(lockedFile, 0);
    ASSERT_TRUE(lock.held());

    EXPECT_EQ(setup.runUpdater(UpdateSetup::goneProcessId), 17u);
    lock.release();

    const auto lines = messages(setup.log);
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(std::vector<std::wstring>(lines.begin(), lines.begin() + 7),
              (std::vector<std::wstring>{started, alreadyGone, backingUp(setup), installing, keptDat, keptExe,
                                         L"Dosya kopyalanamadı: " + lockedFile}));
    EXPECT_EQ(std::vector<std::wstring>(lines.begin() + 7, lines.end()),
              (std::vector<std::wstring>{installRollback, keptDat, keptExe, restarted,
                                         L"HATA: Güncelleme uygulanamadı; eski sürüm geri yüklendi."}));
    const auto starts = startRecords(setup.install, 1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].version, L"1");
    EXPECT_EQ(withoutStartRecords(snapshot(setup.install)), setup.oldInstall);
    EXPECT_EQ(snapshot(setup.backup), setup.oldInstall);
    EXPECT_EQ(snapshot(setup.release), setup.newRelease);
}

TEST(UpdateEndToEnd, AnInstallFileThatCannotBeReplacedKeepsTheWholeBackup)
{
    UpdateSetup setup;
    // Readable (so the backup can be taken) but neither deletable nor overwritable.
    const std::wstring heldFile = joinPath(setup.install, L"plugins\\old-plugin.dll");
    FileLock lock(heldFile, 1);
    ASSERT_TRUE(lock.held());

    EXPECT_EQ(setup.runUpdater(UpdateSetup::goneProcessId), 16u);
    lock.release();

    const auto lines = messages(setup.log);
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"Dosya silinemedi: " + joinPath(setup.install, L"plugins")),
              lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), installRollback), lines.end());
    EXPECT_EQ(lines.back(),
              L"HATA: Güncelleme başarısız ve otomatik geri alma tamamlanamadı. Yedek klasör korunmuştur.");
    EXPECT_EQ(std::find(lines.begin(), lines.end(), restarted), lines.end()) << "nothing is started";
    EXPECT_TRUE(startRecords(setup.install, 0).empty());
    EXPECT_EQ(snapshot(setup.backup), setup.oldInstall);
    EXPECT_EQ(readFile(heldFile), setup.oldInstall.at(L"plugins\\old-plugin.dll"));
    EXPECT_EQ(snapshot(setup.release), setup.newRelease);
}

TEST(UpdateEndToEnd, ABackupFolderThatCannotBeMadeLeavesTheInstallationUntouched)
{
    UpdateSetup setup;
    writeFile(setup.temp / L"blocker", "a file where the backup's parent folder should be");
    setup.backup = setup.temp / L"blocker\\backup";

    EXPECT_EQ(setup.runUpdater(UpdateSetup::goneProcessId), 15u);

    EXPECT_EQ(messages(setup.log),
              (std::vector<std::wstring>{started, alreadyGone, backingUp(setup),
                                         L"Klasör oluşturulamadı: " + setup.backup,
                                         L"HATA: Mevcut sürüm yedeklenemedi. Güncelleme yapılmadı."}));
    EXPECT_EQ(snapshot(setup.install), setup.oldInstall);
    EXPECT_EQ(snapshot(setup.release), setup.newRelease);
    EXPECT_EQ(readFile(setup.temp / L"blocker"), "a file where the backup's parent folder should be");
}

TEST(UpdateEndToEnd, ANewVersionThatCannotStartStaysInstalled)
{
    UpdateSetup setup;
    setup.newRelease[setup.exeName] = "not a program";
    writeFile(joinPath(setup.release, setup.exeName), "not a program");

    EXPECT_EQ(setup.runUpdater(UpdateSetup::goneProcessId), 20u);

    const auto lines = messages(setup.log);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[6], success);
    EXPECT_TRUE(lines[7].starts_with(L"Quorila yeniden başlatılamadı. Win32 hata: ")) << lines[7];
    EXPECT_EQ(lines[8], L"HATA: Güncelleme tamamlandı ancak Quorila otomatik açılamadı. Uygulamayı kısayoldan "
                        L"yeniden açabilirsiniz.");
    EXPECT_EQ(snapshot(setup.install), setup.expectedNewInstall());
    EXPECT_EQ(snapshot(setup.backup), setup.oldInstall);
    EXPECT_EQ(snapshot(setup.release), setup.newRelease);
}

TEST(UpdateEndToEnd, MissingOptionsShowTheBoxAndCreateNothing)
{
    UpdateSetup setup;
    const std::wstring nestedLog = setup.temp / L"not yet\\there\\update.log";
    const std::vector<std::vector<std::wstring>> commandLines = {
        {},
        {L"--pid", L"1", L"--source", setup.release, L"--target", setup.install, L"--backup", setup.backup, L"--exe",
         setup.exeName},
        {L"--PID", L"1", L"--source", setup.release, L"--target", setup.install, L"--backup", setup.backup, L"--exe",
         setup.exeName, L"--log", nestedLog},
        {L"-pid", L"1", L"--source", setup.release, L"--target", setup.install, L"--backup", setup.backup, L"--exe",
         setup.exeName, L"--log", nestedLog},
        {L"--pid", L"1", L"--source", setup.release, L"--target", setup.install, L"--backup", setup.backup, L"--exe",
         L"", L"--log", nestedLog},
        {L"--pid", L"--source", setup.release, L"--target", setup.install, L"--backup", setup.backup, L"--exe",
         setup.exeName, L"--log", nestedLog},
        {L"--pid", L"1", L"--source", setup.release, L"--target", setup.install, L"--backup", setup.backup, L"--exe",
         setup.exeName, L"--log"},
    };
    for (const auto& tokens : commandLines) {
        SCOPED_TRACE(testing::PrintToString(tokens.size()));
        EXPECT_EQ(runProgram(binProgram(L"QuorilaUpdater.exe"), setup.argumentsFrom(tokens)), 10u);
    }
    // A stray quote makes the rest of the line one value.
    EXPECT_EQ(runProgram(binProgram(L"QuorilaUpdater.exe"),
                         L"--pid \"4242 " + setup.argumentsFrom({L"--source", setup.release, L"--target", setup.install,
                                                                 L"--backup", setup.backup, L"--exe", setup.exeName,
                                                                 L"--log", nestedLog})),
              10u);
    EXPECT_FALSE(exists(setup.temp / L"not yet"));
    EXPECT_FALSE(exists(setup.backup));
    EXPECT_FALSE(exists(setup.log));
    EXPECT_EQ(snapshot(setup.install), setup.oldInstall);
    EXPECT_EQ(snapshot(setup.release), setup.newRelease);
}

// The backup is an exact copy of the installation or nothing is touched: an old backup that
// cannot be removed whole stops the run before the installation is, and one that can be removed
// leaves no trace in a rollback.
TEST(UpdateEndToEnd, TheBackupIsTheInstallationExactlyOrNothingIsTouched)
{
    {
        SCOPED_TRACE("stale backup with a file in use");
        UpdateSetup setup;
        writeTree(setup.backup, {{L"old\\library.dll", "an older version"}, {L"z.txt", "z"}});
        const Tree staleBackup = snapshot(setup.backup);
        FileLock staleLock(joinPath(setup.backup, L"old\\library.dll"), 1);
        FileLock releaseLock(joinPath(setup.release, L"data\\settings.ini"), 0);
        ASSERT_TRUE(staleLock.held() && releaseLock.held());

        EXPECT_EQ(setup.runUpdater(UpdateSetup::goneProcessId), 15u);
        staleLock.release();
        releaseLock.release();

        EXPECT_EQ(messages(setup.log), (std::vector<std::wstring>{started, alreadyGone, backingUp(setup),
                                                                  L"Dosya silinemedi: " + setup.backup,
                                                                  L"HATA: Mevcut sürüm yedeklenemedi. Güncelleme yapılmadı."}));
        EXPECT_EQ(snapshot(setup.install), setup.oldInstall);
        EXPECT_EQ(snapshot(setup.release), setup.newRelease);
        EXPECT_EQ(readFile(joinPath(setup.backup, L"old\\library.dll")), staleBackup.at(L"old\\library.dll"));
    }
    {
        SCOPED_TRACE("stale backup removed, read-only entry too, then a failed install");
        UpdateSetup setup;
        writeTree(setup.backup, {{L"old\\library.dll", "an older version"}, {L"read-only.txt", "r"}});
        ASSERT_TRUE(SetFileAttributesW(joinPath(setup.backup, L"read-only.txt").c_str(), FILE_ATTRIBUTE_READONLY));
        FileLock releaseLock(joinPath(setup.release, L"data\\settings.ini"), 0);
        ASSERT_TRUE(releaseLock.held());

        EXPECT_EQ(setup.runUpdater(UpdateSetup::goneProcessId), 17u);
        releaseLock.release();

        EXPECT_EQ(withoutStartRecords(snapshot(setup.install)), setup.oldInstall);
        EXPECT_EQ(snapshot(setup.backup), setup.oldInstall);
        EXPECT_EQ(snapshot(setup.release), setup.newRelease);
    }
}

// The release and backup folders and the log past the old path limit of 260 units: every check
// and every step reads them whole. (An install folder that long updates as well, but Windows
// starts no program in a working folder that long: 20; and Wine at times hangs in trying.)
TEST(UpdateEndToEnd, FoldersPastTheOldPathLimitAreUpdated)
{
    UpdateSetup setup;
    const std::wstring deep = setup.temp / (std::wstring(120, L'd') + L"\\" + std::wstring(120, L'e'));
    makeFolder(deep);
    const std::wstring release = joinPath(deep, L"release");
    ASSERT_TRUE(MoveFileW(setup.release.c_str(), release.c_str()));
    setup.release = release;
    setup.backup = joinPath(deep, L"backup");
    setup.log = joinPath(deep, L"logs\\update.log");
    writeTree(setup.backup, {{L"stale.txt", "from an earlier run"}});
    ASSERT_GT(setup.backup.size(), 260u);

    EXPECT_EQ(setup.runUpdater(UpdateSetup::goneProcessId), 0u);

    EXPECT_EQ(withoutStartRecords(snapshot(setup.install)), setup.expectedNewInstall());
    EXPECT_EQ(snapshot(setup.backup), setup.oldInstall);
    EXPECT_EQ(snapshot(setup.release), setup.newRelease);
    EXPECT_EQ(messages(setup.log).back(), restarted);
}

// A link in the release would leave the installed application without what lies behind it: the
// release copies whole or the old version comes back.
TEST(UpdateEndToEnd, AReleaseHoldingALinkIsNotInstalled)
{
    UpdateSetup setup;
    writeTree(setup.temp / L"elsewhere", {{L"plugin.dll", "linked plugin"}});
    const Link link(setup.temp / L"elsewhere", joinPath(setup.release, L"plugins"));
    ASSERT_TRUE(link.made());

    EXPECT_EQ(setup.runUpdater(UpdateSetup::goneProcessId), 17u);

    const auto lines = messages(setup.log);
    EXPECT_NE(std::find(lines.begin(), lines.end(), L"Dosya kopyalanamadı: " + link.path()), lines.end());
    EXPECT_EQ(withoutStartRecords(snapshot(setup.install)), setup.oldInstall);
    EXPECT_EQ(snapshot(setup.backup), setup.oldInstall);
    EXPECT_EQ(snapshot(setup.temp / L"elsewhere"), (Tree{{L"plugin.dll", "linked plugin"}}));
    EXPECT_EQ(startRecords(setup.install, 1).at(0).version, L"1");
}

} // namespace
} // namespace quorila::test
