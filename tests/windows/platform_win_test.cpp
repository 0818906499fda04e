// What only the platform can answer: folder safety on real folders in every spelling, removal by
// identity, whether a rollback left exactly the backup, the relaunch's quoting read back by the
// platform's splitter, and its wait for the new instance.

#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>
#include <sddl.h>
#include <shellapi.h>

#include "fs/file_ops.h"
#include "folders/folder_safety.h"
#include "folders/install_clearing.h"
#include "folders/tree_match.h"
#include "fs/path_grammar.h"
#include "process/relaunch.h"
#include "process/wait.h"
#include "support/test_support.h"

namespace quorila::test {
namespace {

TEST(FolderSafety, DecidesOnEverySpellingAndChangesNothing)
{
    TempFolder temp;
    const std::wstring r = temp / L"release", i = temp / L"Install Folder", b = temp / L"backup";
    const std::wstring log = temp / L"logs\\update.log", updater = binProgram(L"QuorilaUpdater.exe");
    writeFile(i + L"\\Quorila.exe", "exe");
    writeFile(temp / L"parent\\other\\other.exe", "another program");
    writeFile(temp / L"a-file", "not a folder");
    writeTree(temp / L"elsewhere", {});
    // Drive R: mapped to a folder as `subst` maps one on Windows, by a link in the prefix's dosdevices folder:
    // once Wine has read its drives again (within a second), the folder's final path is the drive's root.
    const std::wstring mapped = temp / L"volume";
    writeFile(mapped + L"\\Quorila.exe", "an installation at a volume's root");
    const Link volume(mapped, L"R:\\", L"\"" + std::wstring(_wgetenv(L"WINEPREFIX")) + L"/dosdevices/r:\"", [&] {
        std::error_code error;
        return finalPath(mapped, error) == L"\\\\?\\R:\\";
    });
    const Link toInstall(i, temp / L"to-install"), toElsewhere(temp / L"elsewhere", temp / L"to-elsewhere");
    const Link toRoot(L"C:\\", temp / L"to-root"), outOfInstall(temp / L"elsewhere", i + L"\\out");
    std::wstring upper = i, slashed = i;
    std::ranges::transform(upper, upper.begin(), [](wchar_t c) { return c >= L'a' && c <= L'z' ? wchar_t(c - 32) : c; });
    std::ranges::replace(slashed, L'\\', L'/');
    const std::wstring lit = L"\\\\?\\", shortInstall = shortPath(i);
    const Tree before = snapshot(temp.path());

    struct Row { const char* name; std::wstring release, install, backup, log, updater; bool safe; };
    const Row rows[] = {
        {"plain", r, i, b, log, updater, true},
        {"literal forms", lit + r, lit + i, lit + b + L"\\", lit + log, updater, true},
        {"dot elements outside a literal form", i + L"\\..\\release", i, b, temp / L"logs\\.\\update.log", updater, true},
        {"names that only begin alike", i + L"-release", i, i + L".backup", log, updater, true},
        {"install folder not there yet", r, temp / L"not yet", b, log, updater, true},
        {"backup below a link to elsewhere", r, i, toElsewhere.path() + L"\\backup", log, updater, true},
        {"updater in the release folder", r, i, b, log, r + L"\\QuorilaUpdater.exe", true},
        {"install a drive root", r, L"C:\\", b, log, updater, false},
        {"backup a share's top folder", r, i, L"\\\\server\\share", log, updater, false},
        {"release a literal drive root", lit + L"C:\\", i, b, log, updater, false},
        {"install a bare name", r, L"Quorila", b, log, updater, false},
        {"backup a bare name", r, i, L"backup", log, updater, false},
        {"install a link to a drive root", r, toRoot.path(), b, log, updater, false},
        {"backup a link to a drive root", r, i, toRoot.path() + L"\\", log, updater, false},
        {"install a volume's root by another name", r, mapped, b, log, updater, false},
        {"release is install with forward slashes", slashed, i, b, log, updater, false},
        {"backup is install in capitals", r, i, upper, log, updater, false},
        {"backup is install in its literal form", r, i, lit + upper + L"\\", log, updater, false},
        {"backup inside install", r, i, i + L"\\deep\\backup", log, updater, false},
        {"backup inside install, capitals, not there yet", r, i, upper + L"\\backup", log, updater, false},
        {"backup inside release, capitals, neither there yet", r, i, temp / L"RELEASE\\backup", log, updater, false},
        {"release inside install", i + L"\\release", i, b, log, updater, false},
        {"install and backup inside release", temp.path(), i, b, log, updater, false},
        {"release is install through a link", toInstall.path(), i, b, log, updater, false},
        {"backup inside install through a link", r, i, toInstall.path() + L"\\backup", log, updater, false},
        {"backup inside install by its short name", r, i, shortInstall + L"\\backup", log, updater, false},
        {"backup in install by text, elsewhere on disk", r, i, outOfInstall.path() + L"\\backup", log, updater, false},
        {"log in install, trailing dot", r, i, b, i + L".\\update.log", updater, false},
        {"log in install through a link", r, i, b, toInstall.path() + L"\\update.log", updater, false},
        {"log in backup", r, i, b, b + L"\\logs\\update.log", updater, false},
        {"updater in backup", r, i, b, log, b + L"\\tools\\QuorilaUpdater.exe", false},
        {"install without the application", r, temp / L"parent", b, log, updater, false},
        {"backup a file", r, i, temp / L"a-file", log, updater, false},
        {"backup a link", r, i, toElsewhere.path(), log, updater, false},
        {"\\??\\ form", r, i, L"\\??\\" + b, log, updater, false},
        {"device form", L"\\\\.\\" + r, i, b, log, updater, false},
        {"alternate data stream", r, i, b, log + L":hidden", updater, false},
    };
    for (const Row& row : rows) {
        const UpdateOptions options{L"42", row.release, row.install, row.backup, L"Quorila.exe", row.log};
        EXPECT_EQ(checkFolderSafety(options, row.updater).has_value(), row.safe) << row.name;
    }
    // What the check hands on is the folders as the disk resolves them, and only those pass again.
    const auto checked = checkFolderSafety({L"42", r, toInstall.path(), b, L"Quorila.exe", log}, updater);
    ASSERT_TRUE(checked);
    std::error_code error;
    EXPECT_EQ(checked->install, finalPath(i, error));
    EXPECT_TRUE(isStillFolder(toInstall.path(), checked->install));
    EXPECT_FALSE(isStillFolder(temp / L"elsewhere", checked->install));
    EXPECT_EQ(snapshot(temp.path()), before);
}

// A removal starts only in the folder that was checked, by its identity on disk. A rollback's
// clearing goes on past entries held without delete sharing: a line for each entry left, everything
// else removed (the installer's files kept).
TEST(Removal, OnlyInTheFolderCheckedAndARollbacksClearingGoesOnPastWhatItCannotRemove)
{
    TempFolder temp;
    const std::wstring install = temp / L"install";
    const Tree kept = {{L"unins000.exe", "kept"}, {L"held.txt", "held"}, {L"dir", "<dir>"}, {L"dir\\held.txt", "held"}};
    Tree tree = kept;
    for (int i = 0; i < 20; ++i) {
        tree[L"release file " + std::to_wstring(i)] = "new";
    }
    writeTree(install, tree);
    writeTree(temp / L"other", {});
    UpdateLog log = openUpdateLog(temp / L"update.log");
    EXPECT_FALSE(clearInstallFolder(install, idOf(temp / L"other"), log));
    EXPECT_FALSE(removeWholeFolder(install, idOf(temp / L"other"), log));
    EXPECT_EQ(snapshot(install), tree);
    std::vector<UniqueFile> held;
    for (const std::wstring name : {L"held.txt", L"dir\\held.txt"}) {
        held.emplace_back(CreateFileW(joinPath(install, name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    }
    EXPECT_FALSE(clearInstallFolder(install, idOf(install), log, AfterEntryNotRemoved::goOn));
    held.clear();
    EXPECT_EQ(snapshot(install), kept);
    EXPECT_TRUE(removeWholeFolder(install, idOf(install), log));
    EXPECT_FALSE(exists(install));
    closeUpdateLog(log);
    std::vector<std::wstring> lines = logMessages(temp / L"update.log");
    std::ranges::sort(lines); // the held entries are met in the platform's order
    const std::wstring notRemoved = L"Dosya silinemedi: " + install, keptLine = L"Installer bakım dosyası korunuyor: ";
    EXPECT_EQ(lines, (std::vector<std::wstring>{notRemoved, notRemoved, notRemoved + L"\\dir",
                                                notRemoved + L"\\held.txt", keptLine + L"unins000.exe"}));
}

std::vector<std::wstring> split(const std::wstring& commandLine)
{
    int count = 0;
    const UniqueLocal<wchar_t**> argv(CommandLineToArgvW(commandLine.c_str(), &count));
    return argv ? std::vector<std::wstring>(argv.get(), argv.get() + count) : std::vector<std::wstring>{};
}

// What a rollback's 17 or 19 rests on: the install folder holds the backup's entries (letter case
// aside), nothing else but the installer's kept ones.
TEST(TreeMatch, OnlyTheBackupsEntriesAndTheKeptInstallerFiles)
{
    TempFolder temp;
    writeTree(temp / L"backup", {{L".QuorilaUpdater-backup", "mark"}, {L"a.exe", "1"}, {L"data\\b", "2"}});
    const std::pair<Tree, bool> rows[] = {
        {{{L"a.exe", "1"}, {L"data\\b", "2"}, {L"unins000.exe", "u"}, {L"UNINS-data\\x", "x"}}, true},
        {{{L"A.EXE", "1"}, {L"Data\\B", "2"}}, true},
        {{{L"a.exe", "1"}, {L"data\\b", "2"}, {L"data\\new.txt", "a release file left"}}, false},
        {{{L"a.exe", "1"}, {L"data", "<dir>"}}, false},
        {{{L"a.exe", "<dir>"}, {L"data\\b", "2"}}, false}, // as many entries, one a folder where the backup has a file
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const std::wstring install = temp / (L"install " + std::to_wstring(i));
        writeTree(install, rows[i].first);
        EXPECT_EQ(holdsExactly(install, temp / L"backup"), rows[i].second) << "row " << i;
    }
}

TEST(Relaunch, TheSplitterReadsBackWhatTheQuotingWrites)
{
    const std::vector<std::wstring> arguments = {L"prog", L"", L"\"", L"\\", L"\\\\\"", L" ", L"\t", L"a b\\",
                                                 L"C:\\Program Files\\Quorila\\", L"x\"y", L"a\\\\\"b c", L"ğ\\\\"};
    for (std::size_t count = 1; count <= arguments.size(); ++count) {
        const std::vector<std::wstring> first(arguments.begin(), arguments.begin() + static_cast<std::ptrdiff_t>(count));
        EXPECT_EQ(split(L"prog " + joinRelaunchArguments(first)), first);
    }
}

// Under Wine "runas" starts the program without a prompt: the relaunch has waited for it and hands
// on its exit code.
TEST(Relaunch, WaitsForTheNewInstanceAndHandsOnItsExitCode)
{
    TempFolder temp;
    const std::wstring application = temp / L"app\\Quorila.exe";
    writeFile(application, readFile(binProgram(L"fake_quorila.exe")).value_or(""));
    {
        UpdateLog log = openUpdateLog(temp / L"update.log");
        EXPECT_EQ(detail::relaunchElevatedWith(application, L"--record --elevated-copy 1", log), 0);
        EXPECT_NE(startLog(temp / L"app", 0).find(L"--record --elevated-copy 1\tversion="), std::wstring::npos);
        EXPECT_EQ(detail::relaunchElevatedWith(application, L"--run", log), 1);
        EXPECT_EQ(detail::relaunchElevatedWith(temp / L"missing.exe", L"--record", log), std::nullopt);
    }
    const std::wstring relaunched = L"Updater yönetici yetkisiyle yeniden başlatıldı.";
    EXPECT_EQ(logMessages(temp / L"update.log"),
              (std::vector<std::wstring>{relaunched, relaunched, L"Yönetici izni alınamadı. Win32 hata: 2"}));
}

// A process this one may not wait on is waited for all the same: by a handle that may only query, or
// in the process list. (Wine lets any process be waited on, so the updater's wait never comes here.)
TEST(Wait, AProcessThatMayNotBeWaitedOnIsWaitedForAllTheSame)
{
    for (const wchar_t* rights : {L"D:P(A;;0x1000;;;WD)", L"D:P(A;;0x1;;;WD)"}) { // query only; terminate only
        PSECURITY_DESCRIPTOR security = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(rights, SDDL_REVISION_1, &security, nullptr));
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), security, FALSE};
        auto application = start(binProgram(L"fake_quorila.exe"), L"--run 1500", {}, &attributes);
        LocalFree(security);
        ASSERT_TRUE(application);
        EXPECT_TRUE(detail::waitWithFewerRights(application->dwProcessId)) << testing::PrintToString(std::wstring(rights));
        EXPECT_TRUE(waitForExit(*application, 0)) << "taken as ended while it ran";
    }
}

} // namespace
} // namespace quorila::test
