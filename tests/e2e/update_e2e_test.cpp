// The real QuorilaUpdater.exe on whole installations, a row a situation. Each checks the exit code, the
// log, that nothing changed outside the install and backup folders (for a refusal: nothing at all),
// no probe left, both folders as the code promises, and what was started.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <memory>
#include <utility>

#include <windows.h>

#include "folders/backup_mark.h"
#include "fs/path_grammar.h"
#include "process/relaunch.h"
#include "support/test_support.h"

namespace quorila::test {
namespace {

const std::wstring started = L"QuorilaUpdater başlatıldı.";
const std::wstring waiting = L"Quorila sürecinin kapanması bekleniyor...";
const std::wstring installing = L"Yeni release kuruluyor...";
const std::wstring rollingBack = L"Kurulum başarısız; rollback başlıyor.";
const std::wstring restarted = L"Quorila yeniden başlatıldı.";
const std::wstring notABackup = L"Yedek klasörü bir Quorila yedeği değil: ";

// The failure texts, letter for letter, behind "HATA: " on the log's last line (and in the box).
const std::map<unsigned long, std::wstring> failureTexts = {
    {11, L"Güncelleme klasörleri güvenli değil."},
    {12, L"Quorila süreç numarası geçersiz."},
    {13, L"Hazırlanan release paketi eksik."},
    {14, L"Quorila kapatılamadığı için güncelleme uygulanmadı."},
    {15, L"Mevcut sürüm yedeklenemedi. Güncelleme yapılmadı."},
    {16, L"Güncelleme başarısız ve otomatik geri alma tamamlanamadı. Yedek klasör korunmuştur."},
    {17, L"Güncelleme uygulanamadı; eski sürüm geri yüklendi."},
    {20, L"Güncelleme tamamlandı ancak Quorila otomatik açılamadı. Uygulamayı kısayoldan yeniden açabilirsiniz."},
    {22, L"Yönetici yetkisine rağmen kurulum klasörüne yazılamıyor."},
};

// One update as the application sets it up below a test folder: version 1 of the stand-in
// application installed (with the installer's files), version 2 prepared as the release.
struct Update {
    Update();
    TempFolder temp;
    std::wstring release = temp / L"release 2";
    std::wstring install = temp / L"Program Files\\Quorila";
    std::wstring backup = temp / L"backup";
    std::wstring log = temp / L"logs\\güncelleme.log";
    std::wstring exe = L"Quorila.exe";
    std::wstring pid = L"4294967280"; // no process has it (Wine hands out small multiples of four)
    Tree oldInstall;
    Tree newRelease;
    std::wstring program = binProgram(L"QuorilaUpdater.exe");
    std::optional<std::wstring> commandLine; // in place of the six options
    std::wstring workingFolder;              // the updater's; empty: the test's own
    bool logged = true;                      // false: the log must stay as it was
    std::vector<std::wstring> lines;         // in this order, others between
    std::optional<Tree> backupAfter;         // when the backup folder is not the old installation
    std::wstring restartedAs;                // the restarted executable as the options name it
    std::vector<std::pair<std::wstring, unsigned long>> held; // paths held open with a share mode
    std::vector<std::unique_ptr<Link>> links;

    // The six options as the application passes them, then `extra`.
    std::wstring arguments(const std::vector<std::wstring>& extra = {}) const
    {
        std::vector<std::wstring> tokens = optionTokens({pid, release, install, backup, exe, log});
        tokens.insert(tokens.end(), extra.begin(), extra.end());
        return joinRelaunchArguments(tokens);
    }
    // The release plus the installer's files the clearing keeps.
    Tree newInstall() const
    {
        Tree expected = newRelease;
        expected.insert({{L"unins000.exe", oldInstall.at(L"unins000.exe")}, {L"unins000.dat", oldInstall.at(L"unins000.dat")}});
        return expected;
    }
};

Update::Update()
{
    static const std::string application = readFile(binProgram(L"fake_quorila.exe")).value_or("");
    oldInstall = {{L"Quorila.exe", application}, {L"version.txt", "1"}, {L"data", "<dir>"},
                  {L"data\\settings.ini", "old settings"}, {L"data\\nested", "<dir>"},
                  {L"data\\nested\\şema.json", "{\"v\":1}"}, {L"plugins", "<dir>"},
                  {L"plugins\\old-plugin.dll", "old plugin"}, {L"unins000.exe", "uninstaller"},
                  {L"unins000.dat", "uninstall data"}};
    newRelease = {{L"Quorila.exe", application}, {L"version.txt", "2"}, {L"data", "<dir>"},
                  {L"data\\settings.ini", "new settings"}, {L"data\\nested", "<dir>"},
                  {L"data\\nested\\şema.json", "{\"v\":2}"}, {L"data\\empty", "<dir>"},
                  {L"new feature.txt", "new"}};
    writeTree(install, oldInstall);
    writeTree(release, newRelease);
}

struct Row {
    const char* name;
    unsigned long code;
    std::function<void(Update&)> arrange;
};

// `tree` without the entries at or below `path` (a path below `root`).
Tree without(Tree tree, const std::wstring& root, const std::wstring& path)
{
    const std::wstring relative = path.substr(std::min(path.size(), root.size() + 1));
    std::erase_if(tree, [&](const auto& entry) {
        return entry.first == relative || entry.first.starts_with(relative + L"\\");
    });
    return tree;
}

// A kept installer entry `name` that reaches a file or folder outside the installation (a hard
// link 'h', a link to a file 'f' or to a folder 'd'), which the release ships too.
void keptLink(Update& r, const std::wstring& name, char kind)
{
    const std::wstring elsewhere = r.temp / L"elsewhere", file = r.temp / L"elsewhere\\a.txt";
    writeTree(elsewhere, {{L"a.txt", "not the updater's"}});
    if (kind == 'h') {
        ASSERT_TRUE(CreateHardLinkW(joinPath(r.install, name).c_str(), file.c_str(), nullptr));
    } else {
        r.links.push_back(std::make_unique<Link>(kind == 'd' ? elsewhere : file, joinPath(r.install, name)));
    }
    r.oldInstall[name] = kind == 'd' ? "<link>" : "not the updater's";
    writeFile(joinPath(r.release, kind == 'd' ? name + L"\\x.txt" : name), "the release's");
    r.newRelease[name] = kind == 'd' ? "<dir>" : "the release's";
    if (kind == 'd') {
        r.newRelease[name + L"\\x.txt"] = "the release's";
    }
    // The backup holds a link made plain and empty.
    r.backupAfter = r.oldInstall;
    (*r.backupAfter)[name] = kind == 'd' ? "<dir>" : kind == 'f' ? "" : "not the updater's";
}

// The backup folder's entries without its state file.
Tree backupOf(const std::wstring& folder)
{
    Tree tree = snapshot(folder);
    tree.erase(std::wstring(backupMarkName));
    return tree;
}

// A backup an earlier run left: marked as the updater's own, or (`marked` false) made before
// there were marks, an installation (the executable and its data folder).
void writeStaleBackup(Update& r, Tree tree, bool marked)
{
    if (!marked) {
        tree.insert({{r.exe, "an older version"}, {L"data", "<dir>"}});
    }
    writeTree(r.backup, tree);
    if (marked) {
        writeFile(joinPath(r.backup, std::wstring(backupMarkName)),
                  formatBackupMark({BackupState::complete, idOf(r.install)}));
    }
}

void expectRow(const Row& row)
{
    SCOPED_TRACE(row.name);
    Update r;
    r.lines = {started};
    row.arrange(r);
    const std::wstring& root = r.temp.path();
    std::wstring logFolder(32768, L'\0'); // its long form: the tree lists long names
    logFolder.resize(GetLongPathNameW(std::wstring(parentPath(r.log)).c_str(), logFolder.data(), 32768));
    logFolder = logFolder.empty() ? std::wstring(parentPath(r.log)) : logFolder;
    const Tree before = without(snapshot(root), root, logFolder);
    const auto logBefore = readFile(r.log);

    std::vector<UniqueFile> held;
    for (const auto& [path, shareMode] : r.held) {
        held.emplace_back(CreateFileW(path.c_str(), GENERIC_READ, shareMode, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        EXPECT_TRUE(held.back()) << "cannot hold a file open";
    }
    EXPECT_EQ(run(r.program, r.commandLine.value_or(r.arguments()), r.workingFolder), row.code);
    held.clear();

    if (r.logged) {
        const std::vector<std::wstring> messages = logMessages(r.log);
        auto at = messages.begin(); // the lines wanted, in order, others between
        for (const std::wstring& line : r.lines) {
            at = std::find(at, messages.end(), line);
            EXPECT_TRUE(at != messages.end()) << "not in the log in this order: " << testing::PrintToString(line);
            at += at != messages.end();
        }
        EXPECT_EQ(messages.empty() ? L"" : messages.back(),
                  row.code == 0 ? restarted : L"HATA: " + failureTexts.at(row.code));
    } else {
        EXPECT_EQ(readFile(r.log), logBefore) << "a log was written";
    }
    const Tree after = without(snapshot(root), root, logFolder); // a probe left behind would show too
    const bool refused = (row.code >= 10 && row.code <= 14) || row.code == 22;
    if (refused) {
        EXPECT_TRUE(after == before) << "a refusal changed something on disk";
        return;
    }
    EXPECT_TRUE(without(without(after, root, r.install), root, r.backup)
                == without(without(before, root, r.install), root, r.backup))
        << "something outside the install and backup folders changed";
    if (row.code != 15 || r.backupAfter) { // a failed backup leaves what it had copied
        EXPECT_EQ(backupOf(r.backup), r.backupAfter.value_or(r.oldInstall));
    }
    Tree install = snapshot(r.install);
    install.erase(joinPath(parentPath(r.exe), L"started.log"));
    const Tree newInstall = r.newInstall();
    if (row.code == 16) {
        for (const auto& entry : install) {
            EXPECT_TRUE(std::ranges::count(r.oldInstall, entry) + std::ranges::count(newInstall, entry) > 0)
                << "neither old nor new: " << testing::PrintToString(entry.first);
        }
    } else {
        EXPECT_TRUE(install == (row.code == 0 || row.code == 20 ? newInstall : r.oldInstall)) << "install folder";
    }
    const std::wstring exe = joinPath(r.install, r.exe);
    const bool starts = row.code == 0 || row.code == 17;
    const std::wstring folder(parentPath(exe)), command = r.restartedAs.empty() ? exe : r.restartedAs;
    EXPECT_EQ(startLog(folder, starts), !starts ? L"" : L"exe=" + exe + L"\tcwd=" + folder + L"\tcmd=\"" + command
                  + L"\"\tversion=" + (row.code == 0 ? L"2" : L"1") + L"\r\n");
}

const Row rows[] = {
    {"an application that holds its data until it exits; a stale backup; an earlier log", 0,
     [](Update& r) {
         writeStaleBackup(r, {{L"stale.txt", "from an earlier run"}, {L"old\\x.bin", "x"}}, true);
         writeFile(r.log, "[2026-1-2 3:4:5] an earlier run\r\n");
         const auto application = start(joinPath(r.install, r.exe), L"--run 2000 data\\settings.ini");
         ASSERT_TRUE(application);
         r.pid = std::to_wstring(application->dwProcessId);
         r.lines = {L"an earlier run", started, waiting, L"Quorila süreci kapandı.",
                    L"Mevcut Quorila sürümü yedekleniyor: " + r.backup, installing,
                    L"Installer bakım dosyası korunuyor: unins000.dat", L"Güncelleme başarıyla uygulandı.", restarted};
     }},
    {"--exe in a subfolder; a read-only installer file that the release ships too", 0,
     [](Update& r) {
         for (Tree* tree : {&r.oldInstall, &r.newRelease}) {
             tree->insert({{L"bin", "<dir>"}, {L"bin\\Quorila.exe", tree->at(L"Quorila.exe")},
                           {L"bin\\version.txt", tree->at(L"version.txt")}});
         }
         writeTree(r.install, r.oldInstall);
         writeTree(r.release, r.newRelease);
         r.exe = L"bin\\Quorila.exe";
         writeFile(joinPath(r.release, L"unins000.dat"), r.newRelease[L"unins000.dat"] = "the release's data");
         ASSERT_TRUE(SetFileAttributesW(joinPath(r.install, L"unins000.dat").c_str(), FILE_ATTRIBUTE_READONLY));
         r.workingFolder = joinPath(r.install, L"bin"); // where the application leaves its updater
         r.lines = {L"Ana Quorila süreci zaten kapalı veya erişilemiyor; devam ediliyor."};
     }},
    {"started in the install folder's data folder, every folder and the log relative to it", 0,
     [](Update& r) {
         r.workingFolder = joinPath(r.install, L"data");
         r.commandLine = joinRelaunchArguments(optionTokens({r.pid, L"..\\..\\..\\release 2", L".\\..", L"..\\..\\..\\backup",
                                                             r.exe, L".\\..\\..\\..\\logs\\güncelleme.log"}));
         r.lines = {L"Mevcut Quorila sürümü yedekleniyor: " + r.backup};
     }},
    // (An install folder that long updates too, but no program starts in it: 20, and under Wine the
    // start at times never returns.)
    {"release, backup and log past 260 characters", 0,
     [](Update& r) {
         const std::wstring deep = r.temp / (std::wstring(120, L'd') + L"\\" + std::wstring(120, L'e'));
         writeTree(deep, {});
         ASSERT_TRUE(MoveFileW(r.release.c_str(), joinPath(deep, L"release").c_str()));
         r.release = joinPath(deep, L"release");
         r.backup = joinPath(deep, L"backup");
         r.log = joinPath(deep, L"logs\\update.log");
         writeStaleBackup(r, {{L"stale.txt", "from an earlier run"}}, false);
     }},
    {"the install folder a second time, in its literal form", 0,
     [](Update& r) {
         writeFile(r.temp / L"decoy\\Quorila.exe", "another installation");
         const std::wstring plain = std::exchange(r.install, r.temp / L"decoy");
         r.commandLine = r.arguments({L"--target", L"\\\\?\\" + plain});
         r.restartedAs = L"\\\\?\\" + joinPath(plain, r.exe);
         r.install = plain;
     }},
    {"the log in a folder given by its short name", 0,
     [](Update& r) {
         writeTree(r.temp / L"logs of a long name", {});
         r.log = shortPath(r.temp / L"logs of a long name") + L"\\update.log";
     }},
    {"the install folder followed by a thousand dot elements", 0,
     [](Update& r) {
         std::wstring dots(2000, L'.');
         for (std::size_t i = 0; i < dots.size(); i += 2) {
             dots[i] = L'\\';
         }
         r.commandLine = r.arguments({L"--target", r.install + dots});
     }},
    {"a release file that cannot be read; a stale backup with a read-only file", 17,
     [](Update& r) {
         writeStaleBackup(r, {{L"old\\library.dll", "older"}, {L"read-only.txt", "r"}}, false);
         ASSERT_TRUE(SetFileAttributesW(joinPath(r.backup, L"read-only.txt").c_str(), FILE_ATTRIBUTE_READONLY));
         r.held.push_back({joinPath(r.release, L"data\\settings.ini"), 0});
         r.lines = {started, installing, L"Dosya kopyalanamadı: " + joinPath(r.release, L"data\\settings.ini"),
                    rollingBack, restarted};
     }},
    {"a release holding a link", 17,
     [](Update& r) {
         writeTree(r.temp / L"elsewhere", {{L"plugin.dll", "linked plugin"}});
         r.links.push_back(std::make_unique<Link>(r.temp / L"elsewhere", joinPath(r.release, L"plugins")));
         r.lines = {L"Dosya kopyalanamadı: " + joinPath(r.release, L"plugins"), rollingBack};
     }},
    {"a release folder that cannot be listed", 17,
     [](Update& r) {
         r.held.push_back({joinPath(r.release, L"data\\nested"), 0});
         r.lines = {installing, L"Kaynak klasör taranırken hata oluştu.", rollingBack};
     }},
    // Wine deletes what a link points to through any delete of the link: here a link in the
    // installation is never removed, so the update stops at it and the old version comes back.
    {"a link in the installation", 17,
     [](Update& r) {
         writeTree(r.temp / L"elsewhere", {{L"a.txt", "not the updater's"}});
         r.links.push_back(std::make_unique<Link>(r.temp / L"elsewhere", joinPath(r.install, L"linked")));
         r.oldInstall[L"linked"] = "<link>";
         r.backupAfter = r.oldInstall;
         (*r.backupAfter)[L"linked"] = "<dir>";
         r.lines = {L"Dosya silinemedi: " + joinPath(r.install, L"linked"), rollingBack};
     }},
    {"a kept installer file that the release ships as a folder", 0,
     [](Update& r) {
         writeFile(joinPath(r.install, L"unins-data"), r.oldInstall[L"unins-data"] = "the installer's");
         writeFile(joinPath(r.release, L"unins-data\\x.txt"), r.newRelease[L"unins-data\\x.txt"] = "x");
         r.newRelease[L"unins-data"] = "<dir>";
     }},
    // Kept installer entries that reach elsewhere, shipped by the release too: the other name of
    // a hard link, and what a link points to, keep their content (checked with everything outside
    // the two folders). Wine opens what a link points to, so there a link is never replaced: 17.
    {"a kept installer hard link", 0, [](Update& r) { keptLink(r, L"unins_hard", 'h'); }},
    {"a kept installer link to a file", 17, [](Update& r) { keptLink(r, L"unins_file", 'f'); }},
    {"a kept installer link to a folder", 17, [](Update& r) { keptLink(r, L"unins_dir", 'd'); }},
    // Loaded as a library is: neither removed nor written over. The copy back keeps it, the
    // backup's own, and restores everything else.
    {"an install file in use that cannot be deleted", 17,
     [](Update& r) {
         r.held.push_back({joinPath(r.install, L"plugins\\old-plugin.dll"), FILE_SHARE_READ});
         r.lines = {installing, L"Dosya silinemedi: " + joinPath(r.install, L"plugins"), rollingBack, restarted};
     }},
    // Two release files whose names differ only in letter case: the second copy must not remove
    // the first (the copy's own work) to take its place.
    {"a release holding two names that differ in letter case", 17,
     [](Update& r) {
         const std::wstring upper = joinPath(r.release, L"VERSION.TXT");
         ASSERT_TRUE(start(L"Z:\\bin\\cp", unixPath(joinPath(r.release, L"version.txt")) + L" " + unixPath(upper))
                     && waitUntil([&] { return exists(upper); }));
         r.lines = {installing, rollingBack, restarted};
     }},
    // Held without delete sharing: the rollback's clearing goes on past it and the copy back
    // overwrites it, so the install folder is exactly the old installation again.
    {"an install file in use that can be overwritten but not deleted", 17,
     [](Update& r) {
         r.held.push_back({joinPath(r.install, L"data\\settings.ini"), FILE_SHARE_READ | FILE_SHARE_WRITE});
         r.lines = {installing, L"Dosya silinemedi: " + joinPath(r.install, L"data"), rollingBack, restarted};
     }},
    {"a stale backup with a file in use: the installation untouched", 15,
     [](Update& r) {
         writeStaleBackup(r, {{L"old\\library.dll", "older"}, {L"z.txt", "z"}}, true);
         r.backupAfter = Tree{{L"old", "<dir>"}, {L"old\\library.dll", "older"}}; // the rest of it removed
         r.held.push_back({joinPath(r.backup, L"old\\library.dll"), FILE_SHARE_READ});
         r.held.push_back({joinPath(r.release, L"data\\settings.ini"), 0});
         r.lines = {L"Mevcut Quorila sürümü yedekleniyor: " + r.backup, L"Dosya silinemedi: " + r.backup};
     }},
    {"a backup folder below a file", 15,
     [](Update& r) {
         writeFile(r.temp / L"blocker", "a file");
         r.backup = r.temp / L"blocker\\backup";
         r.backupAfter = Tree{};
         r.lines = {L"Klasör oluşturulamadı: " + r.backup};
     }},
    {"a new executable that cannot start", 20,
     [](Update& r) {
         writeFile(joinPath(r.release, r.exe), r.newRelease[r.exe] = "not a program");
         r.lines = {L"Güncelleme başarıyla uygulandı.", L"Quorila yeniden başlatılamadı. Win32 hata: 193"};
     }},
    {"no options", 10, [](Update& r) { r.commandLine = L""; r.logged = false; }},
    {"a stray quote makes the rest one value", 10,
     [](Update& r) { r.commandLine = L"--pid \"4242 " + r.arguments(); r.logged = false; }},
    {"the updater started from the install folder", 11,
     [](Update& r) {
         r.program = joinPath(r.install, L"QuorilaUpdater.exe");
         ASSERT_TRUE(CopyFileW(binProgram(L"QuorilaUpdater.exe").c_str(), r.program.c_str(), FALSE));
     }},
    {"the log a link to a file elsewhere", 11,
     [](Update& r) {
         writeTree(r.temp.path(), {{L"elsewhere\\a.txt", "not the updater's"}, {L"logs", "<dir>"}});
         r.links.push_back(std::make_unique<Link>(r.temp / L"elsewhere\\a.txt", r.log));
         r.logged = false;
     }},
    // Not even an empty file is created where the link points.
    {"the log a link to a file not there yet, in a folder elsewhere", 11,
     [](Update& r) {
         writeTree(r.temp.path(), {{L"elsewhere\\update.log", ""}, {L"logs", "<dir>"}});
         r.links.push_back(std::make_unique<Link>(r.temp / L"elsewhere\\update.log", r.log));
         ASSERT_TRUE(DeleteFileW((r.temp / L"elsewhere\\update.log").c_str()));
         r.logged = false;
     }},
    {"the log below a link to a folder elsewhere", 11,
     [](Update& r) {
         writeTree(r.temp / L"elsewhere", {});
         r.links.push_back(std::make_unique<Link>(r.temp / L"elsewhere", r.temp / L"logs"));
         r.logged = false;
     }},
    {"the log on the release's executable", 11, [](Update& r) { r.log = joinPath(r.release, r.exe); r.logged = false; }},
    {"the log in the install folder, other letter case", 11,
     [](Update& r) { r.log = r.temp / L"PROGRAM FILES\\QUORILA\\update.log"; r.logged = false; }},
    // Folders that cannot be read leave no way to tell whether the log lies inside one: none is written.
    {"a literal backup path with ..", 11,
     [](Update& r) { r.backup = L"\\\\?\\" + r.install + L"\\x\\.."; r.logged = false; }},
    {"an --exe as long as a command line allows", 11, [](Update& r) { r.exe = std::wstring(30000, L'q'); }},
    {"a --backup folder of someone's files beside the application's executable", 11,
     [](Update& r) {
         writeTree(r.backup, {{L"letter.txt", "mine"}, {L"photos\\a.jpg", "jpeg"}, {L"Quorila.exe", "a copy"}});
         r.lines = {notABackup + r.backup};
     }},
    // After an update cut off, the backup is the last good installation: a damaged mark never
    // turns it into an old backup to be emptied.
    {"a damaged state file over a backup of the installation", 11,
     [](Update& r) {
         writeStaleBackup(r, r.oldInstall, false);
         writeFile(joinPath(r.backup, std::wstring(backupMarkName)), "QuorilaUpdater backup\r\nstate=upd");
         r.lines = {notABackup + r.backup};
     }},
    {"an old backup holding a link", 11,
     [](Update& r) {
         writeStaleBackup(r, r.oldInstall, false);
         writeTree(r.temp / L"elsewhere", {{L"a.txt", "not the updater's"}});
         r.links.push_back(std::make_unique<Link>(r.temp / L"elsewhere", joinPath(r.backup, L"linked")));
         r.lines = {notABackup + r.backup};
     }},
    {"a state file of unknown content: a mark with more after it", 11,
     [](Update& r) {
         writeTree(r.backup, {{std::wstring(backupMarkName),
                               formatBackupMark({BackupState::complete, idOf(r.install)}) + "and more"}});
     }},
    {"a state file that is a link to a mark", 11,
     [](Update& r) {
         writeFile(r.temp / L"mark", formatBackupMark({BackupState::complete, idOf(r.install)}));
         writeTree(r.backup, {});
         r.links.push_back(std::make_unique<Link>(r.temp / L"mark", joinPath(r.backup, std::wstring(backupMarkName))));
         r.lines = {notABackup + r.backup};
     }},
    {"a process id with a letter", 12, [](Update& r) { r.pid = L"42a"; }},
    {"--exe NUL", 13, [](Update& r) { r.exe = L"NUL"; }},
    {"--exe with a dot element", 13, [](Update& r) { r.exe = L"Quorila.exe\\."; }},
    {"a release without its data folder", 13,
     [](Update& r) { writeTree(r.release = r.temp / L"bare release", {{L"Quorila.exe", "exe"}}); }},
    {"a release whose executable is a folder", 13,
     [](Update& r) {
         writeTree(r.release = r.temp / L"odd release", {{L"Quorila.exe\\inside.txt", "x"}, {L"data\\a.txt", "a"}});
     }},
    // Wine reports every process as elevated: a folder that cannot be written ends with 22.
    {"an install folder that is not there", 22, [](Update& r) { r.install = r.temp / L"not installed"; }},
};

// Each situation its own test, named after it, so that a failure (or a mutant caught) names it.
class Situation : public testing::TestWithParam<Row> {};

void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

TEST_P(Situation, EndsWithItsCodeAndLosesNothing)
{
    expectRow(GetParam());
}

std::string testName(const testing::TestParamInfo<Row>& info)
{
    std::string name;
    for (const char* c = info.param.name; *c != '\0'; ++c) {
        const bool letter = std::isalnum(static_cast<unsigned char>(*c)) != 0;
        if (letter || (!name.empty() && name.back() != '_')) {
            name += letter ? *c : '_';
        }
    }
    return name; // the rows' names differ: the test program refuses two alike
}

INSTANTIATE_TEST_SUITE_P(UpdateEndToEnd, Situation, testing::ValuesIn(rows), testName);


// The pattern of the tests below: the stand-in application runs, and the updater on `r` waits for
// it; `act` runs once the updater's log has a line beginning with `line` (the wait's: while the
// application runs; a later one: once it has been ended), then the application is ended. The
// updater's exit code (999: none within two minutes).
unsigned long updateActingAt(Update& r, const std::wstring& line, const std::function<void(Started&)>& act)
{
    auto application = start(binProgram(L"fake_quorila.exe"), L"--run forever");
    r.pid = std::to_wstring(application ? application->dwProcessId : 0);
    auto updater = start(r.program, r.arguments());
    const auto reached = [&](const std::wstring& prefix) {
        return updater && waitUntil([&] {
            return std::ranges::any_of(logMessages(r.log), [&](const std::wstring& l) { return l.starts_with(prefix); });
        }, &*updater);
    };
    const bool during = line == waiting; // else once the application has been ended
    if (application && reached(waiting) && (during || TerminateProcess(application->hProcess, 0)) && reached(line)) {
        act(*updater);
    }
    if (application) {
        TerminateProcess(application->hProcess, 0);
    }
    return updater ? waitForExit(*updater).value_or(999) : 999;
}

// `tree` without the record the stand-in application keeps of its starts.
Tree plain(Tree tree)
{
    tree.erase(L"started.log");
    return tree;
}

// While an update waits (it then fails and rolls back), a second updater on its install folder and
// one on another installation given the same backup folder are each refused with 11, touching
// nothing; the first ends with exactly its old installation and backup, and the other installation
// updates afterwards.
TEST(UpdateEndToEnd, OneUpdaterPerInstallFolderAndPerBackupFolder)
{
    Update a, b;
    b.oldInstall[L"version.txt"] = "B1";
    writeTree(b.install, b.oldInstall);
    b.backup = a.backup = a.temp / L"not yet\\backup"; // nothing is made for a lock: refused, B creates nothing
    const UniqueFile held(CreateFileW(joinPath(a.release, L"data\\settings.ini").c_str(), GENERIC_READ, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(updateActingAt(a, waiting, [&](Started&) {
                  EXPECT_EQ(run(a.program, a.arguments()), 11u);
                  EXPECT_EQ(run(b.program, b.arguments()), 11u);
                  EXPECT_FALSE(exists(a.temp / L"not yet"));
              }), 17u);
    const auto lines = logMessages(a.log);
    EXPECT_EQ(std::ranges::count(lines, L"Aynı kurulum klasöründe başka bir güncelleme çalışıyor."), 1);
    EXPECT_EQ(std::ranges::count(lines, L"HATA: " + failureTexts.at(11)), 1);
    EXPECT_EQ(logMessages(b.log).at(1), L"Aynı yedek klasörünü kullanan başka bir güncelleme çalışıyor.");
    EXPECT_EQ(std::ranges::count(startLog(a.install, 1), L'\n'), 1);
    EXPECT_EQ(plain(snapshot(a.install)), a.oldInstall);
    EXPECT_EQ(backupOf(a.backup), a.oldInstall);
    EXPECT_EQ(snapshot(b.install), b.oldInstall);
    EXPECT_EQ(run(b.program, b.arguments()), 0u);
    EXPECT_EQ(backupOf(b.backup), b.oldInstall);
    EXPECT_EQ(startLog(b.install, 1).empty(), false);
}

// A backup folder whose parent is replaced by a link during the wait would have the backup step
// delete what the link reaches; a release folder's, install it. Held from the check on, the
// folders cannot be moved (on Windows nor can the folders above them); where one above is moved
// all the same (Wine lets it), the check after the wait refuses.
TEST(UpdateEndToEnd, AFolderReplacedByALinkDuringTheWaitIsRefused)
{
    for (const std::wstring name : {L"backup", L"release"}) {
        SCOPED_TRACE(testing::PrintToString(name));
        Update r;
        std::wstring& folder = name == L"backup" ? r.backup : r.release;
        writeTree(r.temp / L"kept", {});
        if (exists(folder)) {
            ASSERT_TRUE(MoveFileW(folder.c_str(), (r.temp / (L"kept\\" + name)).c_str()));
        }
        folder = r.temp / (L"kept\\" + name);
        const Tree kept = snapshot(r.temp / L"kept");
        const Tree victim = {{name, "<dir>"}, {name + L"\\precious.txt", "not the updater's"}};
        writeTree(r.temp / L"victim", victim);
        std::unique_ptr<Link> swapped;
        bool moved = false;
        const unsigned long code = updateActingAt(r, waiting, [&](Started&) {
            moved = MoveFileW((r.temp / L"kept").c_str(), (r.temp / L"moved").c_str());
            swapped = moved ? std::make_unique<Link>(r.temp / L"victim", r.temp / L"kept") : nullptr;
        });
        EXPECT_TRUE(!moved || name == L"release") << "a held folder was moved"; // the backup's: not there, its parent held
        EXPECT_EQ(code, moved ? 11u : 0u);
        EXPECT_EQ(snapshot(r.temp / L"victim"), victim);
        if (moved) {
            EXPECT_EQ(logMessages(r.log).back(), L"HATA: " + failureTexts.at(11));
            EXPECT_EQ(snapshot(r.temp / L"moved"), kept);
            EXPECT_EQ(snapshot(r.install), r.oldInstall);
        } else {
            EXPECT_EQ(startLog(r.install, 1).empty(), false);
        }
    }
}

// A folder a copy works inside, which a swap for a link would turn elsewhere: the backup copy's
// destination (it would write the installation elsewhere), the release copy's source (it would
// install what lies elsewhere). The copy holds it without delete sharing: once the copy has begun
// a large file in it, it cannot be moved, and the copy ends whole.
TEST(UpdateEndToEnd, AFolderSwappedForALinkDuringACopyIsNotFollowed)
{
    for (const bool inBackup : {true, false}) {
        SCOPED_TRACE(inBackup ? "backup" : "release");
        Update r;
        Tree sub = {{L"big.bin", std::string(64 << 20, 'b')}};
        for (int i = 0; i < 100; ++i) {
            sub[L"small" + std::to_wstring(i)] = std::to_string(i);
        }
        const std::wstring source = joinPath(inBackup ? r.install : r.release, L"data\\sub");
        const std::wstring copy = joinPath(inBackup ? r.backup : r.install, L"data\\sub");
        writeTree(source, sub);
        auto updater = start(r.program, r.arguments());
        ASSERT_TRUE(updater && waitUntil([&] { return exists(joinPath(copy, L"big.bin")); }, &*updater));
        const std::wstring swapped = inBackup ? copy : source;
        EXPECT_FALSE(MoveFileW(swapped.c_str(), (swapped + L"-moved").c_str())) << "a folder the copy works in was moved";
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(waitForExit(*updater), 0u);
        EXPECT_EQ(snapshot(copy), sub);
        EXPECT_EQ(startLog(r.install, 1).empty(), false);
    }
}

TEST(SlowEndToEnd, AnApplicationThatNeverExitsStopsTheUpdateAfterAMinute)
{
    std::optional<Started> application;
    const ULONGLONG begin = GetTickCount64();
    expectRow({"an application that never exits", 14, [&](Update& r) {
                   application = start(binProgram(L"fake_quorila.exe"), L"--run forever");
                   r.pid = std::to_wstring(application->dwProcessId);
                   r.lines = {started, waiting, L"Quorila 60 saniye içinde kapanmadı."};
               }});
    const ULONGLONG waited = GetTickCount64() - begin;
    EXPECT_GE(waited, 59000u) << "gave up before the minute";
    EXPECT_LT(waited, 90000u) << "waited far beyond the minute";
    EXPECT_FALSE(waitForExit(*application, 0)) << "the application was ended, not waited for";
    TerminateProcess(application->hProcess, 0);
    waitForExit(*application);
}

// The updater killed at points spread over a run (the step its log has reached, then a delay),
// then the same update started again: the old installation is never lost, and the second run
// either updates (backup = old installation) or restores it exactly.
TEST(SlowEndToEnd, AnUpdateKilledAnywhereIsFinishedByTheNextRun)
{
    const std::wstring backingUp = L"Mevcut Quorila sürümü yedekleniyor: ";
    const std::pair<std::wstring, DWORD> points[] = {
        {waiting, 300},    {backingUp, 0},    {backingUp, 150},  {backingUp, 400},  {installing, 0},   {installing, 100},
        {installing, 250}, {installing, 450}, {rollingBack, 0},  {rollingBack, 150}, {rollingBack, 400}};
    int losses = 0;
    for (const auto& [line, delay] : points) {
        SCOPED_TRACE(testing::PrintToString(line) + " +" + std::to_string(delay) + " ms");
        const int failures = testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
        Update r;
        Tree earlier; // an earlier version's backup, made before there were marks
        for (int i = 0; i < 400; ++i) { // large enough for a kill to land inside each step
            r.oldInstall[L"data\\pack\\" + std::to_wstring(i)] = std::string(8192, static_cast<char>('a' + i % 26));
            r.newRelease[L"data\\pack\\" + std::to_wstring(i)] = std::string(8192, static_cast<char>('A' + i % 26));
            earlier.emplace(L"old " + std::to_wstring(i), "0");
        }
        r.oldInstall[L"data\\pack"] = r.newRelease[L"data\\pack"] = "<dir>";
        writeTree(r.install, r.oldInstall);
        writeTree(r.release, r.newRelease);
        writeStaleBackup(r, earlier, false);
        UniqueFile held(line == rollingBack ? CreateFileW(joinPath(r.release, L"data\\pack\\399").c_str(), GENERIC_READ,
                                                          0, nullptr, OPEN_EXISTING, 0, nullptr) : INVALID_HANDLE_VALUE);
        updateActingAt(r, line, [&](Started& updater) {
            Sleep(delay); // where in the step the kill lands, not a wait: any place must lose nothing
            TerminateProcess(updater.hProcess, 99);
        });
        held.reset();
        const auto killedAt = logMessages(r.log);
        std::printf("killed after %ls\n", killedAt.empty() ? L"-" : killedAt.back().c_str());
        // Killed once the update was done: the second run backs up the release, rightly. A rollback
        // that ended before the kill restarted the old version, whose record is not the installation's.
        const bool updated = std::ranges::count(killedAt, L"Güncelleme başarıyla uygulandı.") > 0;
        EXPECT_TRUE(plain(snapshot(r.install)) == r.oldInstall || plain(backupOf(r.backup)) == r.oldInstall)
            << "lost after the kill";
        const unsigned long code = run(r.program, r.arguments()).value_or(999);
        EXPECT_TRUE(code == 0 || code == 17 || code == 19) << code << "\n" << testing::PrintToString(logMessages(r.log));
        EXPECT_TRUE(plain(snapshot(r.install)) == (code == 0 ? r.newInstall() : r.oldInstall)) << "install folder";
        EXPECT_TRUE(code != 0 || updated || plain(backupOf(r.backup)) == r.oldInstall) << "backup";
        startLog(r.install, 1); // the restarted application, waited for
        losses += testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() > failures;
    }
    std::printf("%zu kill points, %d losses\n", std::size(points), losses);
}

// A file that cannot be read or removed at each place of the tree in turn (first, last, nested, top
// level, the installer's): whatever step it stops, nothing is lost.
TEST(UpdateEndToEnd, NoFileIsLostWhereverACopyOrARemovalFails)
{
    const Update sample;
    int positions = 0;
    int losses = 0;
    for (const auto& [inRelease, shareMode] : {std::pair{true, 0ul}, {false, FILE_SHARE_READ}, {false, 0ul}}) {
        for (const auto& [file, content] : inRelease ? sample.newRelease : sample.oldInstall) {
            if (content == "<dir>") {
                continue;
            }
            // A held installer file stops nothing: it is never removed. Any other held file stops
            // the clearing, and the copy back keeps it as the backup's own.
            const unsigned long code = inRelease ? 17 : shareMode == 0 ? 15 : file.starts_with(L"unins") ? 0 : 17;
            const std::string name = testing::PrintToString(file) + (inRelease ? " of the release" : " installed")
                + " held, share mode " + std::to_string(shareMode);
            const int failures = testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
            expectRow({name.c_str(), code, [&](Update& r) {
                           r.held.push_back({joinPath(inRelease ? r.release : r.install, file), shareMode});
                       }});
            losses += testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() > failures;
            ++positions;
        }
    }
    std::printf("%d fault positions, %d losses\n", positions, losses);
}

} // namespace
} // namespace quorila::test
