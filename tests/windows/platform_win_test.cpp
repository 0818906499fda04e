// What only the platform can answer: folder safety on real folders in every spelling, removal by
// identity, whether a rollback left exactly the backup, the relaunch's quoting read back by the
// platform's splitter, and its wait for the new instance.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

#include <windows.h>
#include <sddl.h>
#include <shellapi.h>

#include "fs/file_ops.h"
#include "folders/backup_folder.h"
#include "folders/folder_safety.h"
#include "folders/held_folders.h"
#include "folders/install_clearing.h"
#include "folders/tree_copy.h"
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
    EXPECT_EQ(snapshot(temp.path()), before);
}

// The folders are held only as checked (by their identity on disk), and once held they cannot be
// renamed; a backup folder not there yet is made below its nearest folder that is.
TEST(HeldFolders, OnlyTheFoldersCheckedAreHeldAndNoneCanBeRenamed)
{
    TempFolder temp;
    writeTree(temp / L"install", {{L"Quorila.exe", "application"}});
    writeTree(temp / L"other", {});
    CheckedFolders checked{L"", temp / L"install", temp / L"backup\\below", std::nullopt, idOf(temp / L"other"),
                           std::nullopt};
    EXPECT_FALSE(holdFolders(checked));
    checked.installId = idOf(temp / L"install");
    auto held = holdFolders(checked);
    ASSERT_TRUE(held);
    std::error_code error;
    EXPECT_EQ(heldId(held->backupBase, error), idOf(temp.path()));
    EXPECT_EQ(held->backupRest, L"backup\\below");
    EXPECT_FALSE(MoveFileW((temp / L"install").c_str(), (temp / L"moved").c_str())) << "a held folder was renamed";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    // A link planted at the missing backup folder's name since: each level is created new, so the
    // creation fails and nothing is made where the link points.
    writeTree(temp / L"elsewhere", {});
    const Link planted(temp / L"elsewhere", temp / L"backup");
    UpdateLog log;
    EXPECT_FALSE(readyBackupFolder(*held, checked.backup, FileId{}, log));
    EXPECT_EQ(snapshot(temp / L"elsewhere"), Tree{});
}

// A rollback's clearing goes on past an entry held without delete sharing: one line for each
// entry left, everything else removed (the installer's files kept).
TEST(Removal, ARollbacksClearingGoesOnPastWhatItCannotRemove)
{
    TempFolder temp;
    const std::wstring install = temp / L"install";
    // Inside "folder", whichever of a and b comes second is emptied after the first failure.
    const Tree left = {{L"unins000.exe", "kept"}, {L"held.txt", "held"},       {L"folder", "<dir>"},
                       {L"folder\\a", "<dir>"},   {L"folder\\a\\held.txt", "held"}, {L"folder\\b", "<dir>"},
                       {L"folder\\b\\held.txt", "held"}};
    Tree tree = left;
    for (int i = 0; i < 20; ++i) {
        tree[L"release file " + std::to_wstring(i)] = "new";
    }
    tree.insert({{L"folder\\a\\sub\\x", "new"}, {L"folder\\b\\sub\\x", "new"}});
    writeTree(install, tree);
    std::vector<UniqueFile> held;
    for (const std::wstring name : {L"held.txt", L"folder\\a\\held.txt", L"folder\\b\\held.txt"}) {
        held.emplace_back(CreateFileW(joinPath(install, name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    }
    UpdateLog log = openUpdateLog(temp / L"update.log");
    std::error_code error;
    EXPECT_FALSE(clearInstallFolder(openFolder(install, Access::write, error), install, log, AfterEntryNotRemoved::goOn));
    closeUpdateLog(log);
    held.clear();
    EXPECT_EQ(snapshot(install), left);
    const auto lines = logMessages(temp / L"update.log");
    EXPECT_EQ(std::ranges::count_if(lines, [](const std::wstring& l) { return l.starts_with(L"Dosya silinemedi: "); }), 2);
}

// A copy back goes on past a file it can neither remove nor write over (loaded as a library is)
// and that is not the backup's: a line for each, everything else restored.
TEST(TreeCopy, ACopyBackRestoresAllItCan)
{
    TempFolder temp;
    const std::wstring backup = temp / L"backup", install = temp / L"install";
    writeTree(backup, {{L"x1", "old"}, {L"x2", "old"}, {L"a.txt", "a"}, {L"data\\b.txt", "b"}});
    writeTree(install, {{L"x1", "new"}, {L"x2", "new"}});
    std::vector<UniqueFile> held;
    for (const std::wstring name : {L"x1", L"x2"}) {
        held.emplace_back(CreateFileW(joinPath(install, name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    }
    UpdateLog log = openUpdateLog(temp / L"update.log");
    std::error_code error;
    EXPECT_FALSE(copyTree(openFolder(backup, Access::read, error), backup, openFolder(install, Access::write, error),
                          install, CopyOf::backup, log));
    closeUpdateLog(log);
    held.clear();
    EXPECT_EQ(snapshot(install),
              (Tree{{L"x1", "new"}, {L"x2", "new"}, {L"a.txt", "a"}, {L"data", "<dir>"}, {L"data\\b.txt", "b"}}));
    auto lines = logMessages(temp / L"update.log");
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::wstring>{L"Dosya kopyalanamadı: " + joinPath(backup, L"x1"),
                                                L"Dosya kopyalanamadı: " + joinPath(backup, L"x2")}));
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
        std::error_code error;
        EXPECT_EQ(holdsExactly(openFolder(install, Access::read, error), openFolder(temp / L"backup", Access::read, error)),
                  rows[i].second) << "row " << i;
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

// The elevated copy runs in a logon session of its own, which does not see the user's substituted
// and network drives: each path goes to it naming what its drive stands for, or none goes.
TEST(Relaunch, TheElevatedCopysPathsNameWhatTheUsersDrivesStandFor)
{
    // Windows' answers for each kind of drive; a letter not listed is a drive it does not know.
    static const std::map<wchar_t, detail::DriveAnswers> drives = {
        {L'C', {L"\\Device\\HarddiskVolume3"}},
        {L'S', {L"\\??\\C:\\Users\\u\\real\\"}},             // subst S: C:\Users\u\real
        {L'T', {L"\\??\\s:\\deeper"}},                        // subst T: S:\deeper
        {L'U', {L"\\??\\UNC\\server\\share\\dir", {}, true}}, // subst U: \\server\share\dir
        {L'H', {L"\\Device\\Mup\\;LanmanRedirector\\;H:01\\server\\share", L"\\\\server\\share", true}},
        {L'N', {L"\\Device\\Mup\\;LanmanRedirector\\;N:01\\server\\gone", {}, true}}, // no name from WNet
        {L'R', {L"\\Device\\HarddiskVolume3\\folder"}},      // a raw target inside a volume
        {L'W', {L"\\Device\\WebDav", {}, true}},              // a network drive, its target a device
        {L'V', {L"\\??\\Volume{5f1e}\\folder"}},
        {L'L', {L"\\??\\M:\\x"}}, {L'M', {L"\\??\\L:\\y"}},
    };
    const detail::AskDrive ask = [](wchar_t letter) {
        const auto found = drives.find(letter);
        return found == drives.end() ? detail::DriveAnswers{} : found->second;
    };
    const std::pair<std::wstring, std::optional<std::wstring>> rows[] = {
        {L"C:\\Quorila", L"C:\\Quorila"},
        {L"s:\\release", L"C:\\Users\\u\\real\\release"},
        {L"\\\\?\\S:\\release", L"\\\\?\\C:\\Users\\u\\real\\release"},
        {L"T:\\a\\b", L"C:\\Users\\u\\real\\deeper\\a\\b"},
        {L"U:\\backup", L"\\\\server\\share\\dir\\backup"},
        {L"H:\\logs\\update.log", L"\\\\server\\share\\logs\\update.log"},
        {L"\\\\?\\H:\\logs", L"\\\\?\\UNC\\server\\share\\logs"},
        {L"\\\\server\\share\\x", L"\\\\server\\share\\x"},
        {L"N:\\x", std::nullopt}, {L"R:\\x", std::nullopt}, {L"W:\\x", std::nullopt},
        {L"V:\\x", std::nullopt}, {L"L:\\x", std::nullopt}, {L"Q:\\x", std::nullopt},
    };
    for (const auto& [path, seen] : rows) {
        EXPECT_EQ(detail::pathSeenElevated(path, ask), seen) << testing::PrintToString(path);
    }
    std::wstring refused;
    const UpdateOptions given{L"42", L"S:\\r", L"C:\\Quorila", L"U:\\b", L"Quorila.exe", L"H:\\update.log"};
    const auto handed = detail::optionsSeenElevated(given, ask, refused);
    ASSERT_TRUE(handed);
    EXPECT_EQ(optionTokens(*handed), optionTokens({L"42", L"C:\\Users\\u\\real\\r", L"C:\\Quorila",
                                                   L"\\\\server\\share\\dir\\b", L"Quorila.exe",
                                                   L"\\\\server\\share\\update.log"}));
    for (auto path : {&UpdateOptions::releaseFolder, &UpdateOptions::installFolder, &UpdateOptions::backupFolder,
                       &UpdateOptions::logPath}) {
        UpdateOptions unseen = given;
        unseen.*path = L"N:\\x";
        EXPECT_FALSE(detail::optionsSeenElevated(unseen, ask, refused));
        EXPECT_EQ(refused, L"N:\\x");
    }

    // The platform's own answers: a drive mapped in this prefix, unknown to QueryDosDeviceW under
    // Wine, is refused; once it carries the definition `subst` makes on Windows, its paths name the
    // folder it stands for, the same folder; the test folder's own volume stays as it is.
    TempFolder temp;
    writeTree(temp / L"volume\\release", {});
    const std::wstring volume = temp / L"volume";
    const Link mapped(volume, L"S:\\", L"\"" + std::wstring(_wgetenv(L"WINEPREFIX")) + L"/dosdevices/s:\"", [&] {
        std::error_code error;
        return finalPath(volume, error) == L"\\\\?\\S:\\";
    });
    const UpdateOptions onDrive{L"42", L"S:\\release", temp / L"install", temp / L"backup", L"Quorila.exe", temp / L"u.log"};
    EXPECT_FALSE(detail::optionsSeenElevated(onDrive, detail::askDrive, refused));
    EXPECT_EQ(refused, L"S:\\release");
    ASSERT_TRUE(DefineDosDeviceW(0, L"S:", (temp / L"volume").c_str()));
    const std::unique_ptr<const wchar_t, void (*)(const wchar_t*)> substituted(L"S:", [](const wchar_t* drive) {
        EXPECT_TRUE(DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive, nullptr));
    });
    const auto seen = detail::optionsSeenElevated(onDrive, detail::askDrive, refused);
    ASSERT_TRUE(seen);
    EXPECT_EQ(optionTokens(*seen), optionTokens({L"42", temp / L"volume\\release", temp / L"install", temp / L"backup",
                                                 L"Quorila.exe", temp / L"u.log"}));
    EXPECT_EQ(idOf(seen->releaseFolder), idOf(L"S:\\release"));
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
