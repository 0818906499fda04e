// Folder safety with the platform: full paths, final paths, the file system's comparison of names,
// and the decisions of checkFolderSafety on real folders, links, short names and a mapped drive.
// checkFolderSafety only decides: every table also checks that nothing on disk changed.

#include "folders/folder_safety.h"

#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "folders/path_grammar.h"
#include "support/links.h"
#include "support/shown.h"
#include "support/test_support.h"

namespace quorila {
namespace {

using test::shown;
using test::TempFolder;

// The path with its last element in the short (8.3) form; the test fails when there is none.
std::wstring shortPath(const std::wstring& path)
{
    std::wstring buffer(32768, L'\0');
    buffer.resize(GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size())));
    EXPECT_FALSE(buffer.empty() || fileName(buffer) == fileName(path)) << "no short name for " << shown(path);
    return buffer;
}

std::wstring currentFolder()
{
    std::wstring buffer(32768, L'\0');
    buffer.resize(GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data()));
    return buffer;
}

TEST(FullPath, GrowsItsBufferResolvesAndReportsFailure)
{
    // Full paths just below, at and above the first buffer's 260 units, and far beyond it.
    for (std::size_t length : {250u, 258u, 259u, 260u, 261u, 262u, 520u, 521u, 5000u, 40000u}) {
        const std::wstring expected = L"C:\\" + std::wstring(length - 3, L'q');
        std::error_code error;
        const std::wstring full = fullPath(L"C:\\skipped\\..\\" + expected.substr(3), error);
        EXPECT_FALSE(error) << length;
        EXPECT_EQ(full, expected) << length;
    }
    std::error_code ignored;
    const std::wstring current = currentFolder();
    ASSERT_FALSE(current.empty());
    EXPECT_EQ(fullPath(L"name\\sub", ignored), joinPath(current, L"name\\sub"));
    EXPECT_EQ(fullPath(L".\\a\\..\\name", ignored), joinPath(current, L"name"));
    EXPECT_EQ(fullPath(L"\\top", ignored), std::wstring(rootName(current)) + L"\\top");
    EXPECT_EQ(fullPath(L"C:/x//y", ignored), L"C:\\x\\y");
    // The platform's one failure here; Wine sets no error for it, so none may leak through.
    for (DWORD before : {DWORD{ERROR_SUCCESS}, DWORD{ERROR_ACCESS_DENIED}}) {
        SetLastError(before);
        std::error_code error;
        const std::wstring full = fullPath(L"", error);
        EXPECT_EQ(error.value(), static_cast<int>(ERROR_INVALID_NAME));
        EXPECT_TRUE(full.empty());
    }
}

TEST(FinalPath, NamesAnExistingFolderAsTheFileSystemHasIt)
{
    TempFolder temp;
    const std::wstring folder = temp / L"Quorila Long Folder";
    test::makeFolder(folder);
    test::writeFile(temp / L"file.txt", "x");
    test::Link link(folder, temp / L"link");
    ASSERT_TRUE(link.made());
    const std::wstring shortForm = shortPath(folder);

    for (const std::wstring& path : {folder, folder + L"\\", temp / L"QUORILA LONG FOLDER", shortForm, link.path(),
                                     link.path() + L"\\"}) {
        EXPECT_EQ(finalPath(path), L"\\\\?\\" + folder) << shown(path);
    }
    EXPECT_EQ(finalPath(temp / L"missing"), std::nullopt);
    EXPECT_EQ(finalPath(temp / L"file.txt"), std::nullopt);
}

TEST(EqualIgnoringCase, FoldsLettersAsTheFileSystemDoesWithoutALocale)
{
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        bool equal;
    };
    const Case cases[] = {
        {L"Quorila", L"QUORILA", true},
        {L"quorila", L"quorila", true},
        {L"", L"", true},
        {L"\u00e7\u011f\u00fc\u015f\u00f6", L"\u00c7\u011e\u00dc\u015e\u00d6", true}, // çğüşö
        {L"\u00e9", L"\u00c9", true},
        // Only the case table: no locale's dotted and dotless i, no expansions.
        {L"\u0131", L"I", false},
        {L"\u0130", L"i", false},
        {L"\u00df", L"SS", false},
        {L"a", L"", false},
        {L"", L"a", false},
        {L"ab", L"a", false},
        {L"install", L"instal1", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(equalIgnoringCase(c.a, c.b), c.equal) << shown(c.a) << " vs " << shown(c.b);
    }
}

TEST(IsSafeFolder, RefusesEmptyTextsBareNamesAndRoots)
{
    const std::wstring current = currentFolder();
    ASSERT_FALSE(isVolumeRoot(current)) << "the tests must not run in a drive root";
    const std::wstring currentDrive(rootName(current));
    ASSERT_EQ(currentDrive.size(), 2u);

    const std::wstring unsafe[] = {L"", L"C:\\", L"C:/", L"C:\\\\", L"\\", L"/", L"C:\\Quorila\\..",
                                   L"C:\\Quorila\\..\\.", L"name", L"..", L".", L"\\\\server"};
    // The last two are no bare roots by their text: only checkFolderSafety's further rules hold them back.
    const std::wstring safe[] = {L"name\\", L"C:\\Quorila", L"C:\\Quorila\\", L"C:/Program Files/Quorila/",
                                 L"C:\\a\\b\\c", L"\\Quorila", currentDrive, L"\\\\server\\share", L"\\\\?\\C:\\"};
    for (const std::wstring& path : unsafe) {
        EXPECT_FALSE(isSafeFolder(path)) << shown(path);
    }
    for (const std::wstring& path : safe) {
        EXPECT_TRUE(isSafeFolder(path)) << shown(path);
    }
}

// --- checkFolderSafety ---

struct Decision {
    std::wstring release;
    std::wstring install;
    std::wstring backup;
    bool safe;
};

UpdateOptions optionsFor(const std::wstring& release, const std::wstring& install, const std::wstring& backup,
                         const std::wstring& log)
{
    return {.pidText = L"42", .releaseFolder = release, .installFolder = install, .backupFolder = backup,
            .exeName = L"Quorila.exe", .logPath = log};
}

// Every decision as given (the log beside the folders, the updater where the build put it), and
// the folder below `temp` unchanged by all of them.
void expectDecisions(const TempFolder& temp, const std::vector<Decision>& cases)
{
    const test::Tree before = test::snapshot(temp.path());
    for (const Decision& c : cases) {
        const UpdateOptions options = optionsFor(c.release, c.install, c.backup, temp / L"logs\\update.log");
        EXPECT_EQ(checkFolderSafety(options, test::binProgram(L"QuorilaUpdater.exe")).has_value(), c.safe)
            << "release " << shown(c.release) << ", install " << shown(c.install) << ", backup " << shown(c.backup);
    }
    EXPECT_EQ(test::snapshot(temp.path()), before);
}

TEST(CheckFolderSafety, RefusesOneFolderSameAsOrInsideAnotherInAnySpelling)
{
    TempFolder temp;
    test::writeFile(temp / L"install\\Quorila.exe", "exe");
    const std::wstring r = temp / L"release";
    const std::wstring i = temp / L"install";
    const std::wstring b = temp / L"backup";
    std::wstring slashed = i;
    std::wstring upper = i;
    for (std::size_t k = 0; k < i.size(); ++k) {
        slashed[k] = i[k] == L'\\' ? L'/' : i[k];
        upper[k] = (i[k] >= L'a' && i[k] <= L'z') ? static_cast<wchar_t>(i[k] - 32) : i[k];
    }

    expectDecisions(temp, {
        {r, i, b, true},
        // an unsafe install folder, whatever the others are
        {r, L"", b, false},
        {r, L"C:\\", b, false},
        {r, L"\\", b, false},
        {r, L"install", b, false},
        {r, L"C:\\Quorila\\..", b, false},
        // two of the three the same text, separators written differently
        {i, i, b, false},
        {slashed, i, b, false},
        {r, i, i, false},
        {r, i, temp.path() + L"\\\\install", false},
        {r, i, r, false},
        {b, i, b, false},
        // the same folder written another way
        {r, i, upper, false},
        {r, i, i + L"\\", false},
        {i + L"\\.", i, b, false},
        {r, i, i + L"\\..\\install", false},
        {r, i, L"\\\\?\\" + i, false},
        {r, i, L"\\\\?\\" + upper + L"\\", false},
        {i, L"\\\\?\\" + i, b, false},
        // the same for two folders that do not exist yet (no final path to show the disk's case)
        {r + L"\\", i, r, false},
        {r, i, L"\\\\?\\" + r, false},
        {r, i, temp / L"RELEASE", false},
        {r, i, temp / L"Release\\backup", false},
        // one folder inside another, each way round
        {i + L"\\release", i, b, false},
        {r, i, i + L"\\backup", false},
        {r, i, i + L"\\deep\\er\\backup", false},
        {r, r + L"\\install", b, false},
        {r, b + L"\\install", b, false},
        {r, i, r + L"\\backup", false},
        {b + L"\\release", i, b, false},
        {r, i, L"\\\\?\\" + i + L"\\BACKUP", false},
        {r, i, temp / L"INSTALL/backup", false},
        // distinct folders pass in any spelling; names that only begin alike are not inside one another
        {upper + L"\\..\\release", i, L"\\\\?\\" + b, true},
        {temp / L"install-release", i, temp / L"install.backup", true},
        {temp / L"in", i, temp / L"installation", true},
    });
}

TEST(CheckFolderSafety, RefusesRootsForEveryFolder)
{
    TempFolder temp;
    const std::wstring folders[] = {temp / L"release", temp / L"install", temp / L"backup"};
    ASSERT_TRUE(checkFolderSafety(optionsFor(folders[0], folders[1], folders[2], temp / L"update.log"),
                                  test::binProgram(L"QuorilaUpdater.exe")));
    std::vector<Decision> cases;
    for (const wchar_t* root :
         {L"", L"C:\\", L"C:/", L"\\", L"C:\\Quorila\\..", L"release", L"\\\\?\\C:\\", L"\\\\?\\C:", L"\\\\.\\C:\\",
          L"\\\\?\\C:\\Quorila\\..", L"\\\\server\\share", L"\\\\server\\share\\", L"//server/share",
          L"\\\\server\\share\\Quorila\\..", L"\\\\?\\UNC\\server\\share\\", L"\\\\server"}) {
        for (int position = 0; position < 3; ++position) {
            std::wstring three[] = {folders[0], folders[1], folders[2]};
            three[position] = root;
            cases.push_back({three[0], three[1], three[2], false});
        }
    }
    expectDecisions(temp, cases);
    EXPECT_TRUE(test::snapshot(temp.path()).empty());
}

struct Surrounding {
    const char* name;
    std::wstring release;
    std::wstring install;
    std::wstring backup;
    std::wstring log;
    std::wstring updater;
    bool safe;
};

// Only the forms every reader of a path takes alike pass; the log and the updater may not lie in
// the folders the update deletes in; the install folder must be an installation.
TEST(CheckFolderSafety, ReadsPathsAsTheFileOperationsDoAndGuardsWhatLiesAround)
{
    TempFolder temp;
    const std::wstring r = temp / L"release";
    const std::wstring i = temp / L"install";
    const std::wstring b = temp / L"backup";
    const std::wstring log = temp / L"logs\\update.log";
    const std::wstring updater = test::binProgram(L"QuorilaUpdater.exe");
    test::writeFile(i + L"\\Quorila.exe", "exe");
    test::writeFile(temp / L"parent\\other-program\\other.exe", "another program");
    test::writeFile(temp / L"a-file", "not a folder");
    test::Link toInstall(i, temp / L"to-install");
    test::makeFolder(temp / L"elsewhere");
    test::Link toElsewhere(temp / L"elsewhere", temp / L"to-elsewhere");
    ASSERT_TRUE(toInstall.made() && toElsewhere.made());
    std::wstring upperInstall = i;
    std::wstring slashedInstall = i;
    for (wchar_t& c : upperInstall) {
        c = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
    }
    for (wchar_t& c : slashedInstall) {
        c = c == L'\\' ? L'/' : c;
    }
    const std::wstring literal = L"\\\\?\\";

    const std::vector<Surrounding> rows = {
        {"plain", r, i, b, log, updater, true},
        {"literal forms", literal + r, literal + i, literal + b + L"\\", literal + log, updater, true},
        {"dot elements outside a literal form", i + L"\\..\\release", i, b, temp / L"logs\\.\\update.log", updater, true},
        {"\\??\\ form", r, i, L"\\??\\" + b, log, updater, false},
        {"\\??\\ form of the log", r, i, b, L"\\??\\" + log, updater, false},
        {"device form", L"\\\\.\\" + r, i, b, log, updater, false},
        {"literal form with ..", r, i, literal + b + L"\\x\\..", log, updater, false},
        {"literal form with .", r, literal + i + L"\\.", b, log, updater, false},
        {"literal log with ..", r, i, b, literal + temp / L"logs\\x\\..\\update.log", updater, false},
        {"literal form with /", r, i, literal + b + L"/x", log, updater, false},
        {"literal form with a trailing dot", r, i, literal + b + L".", log, updater, false},
        {"literal form with an empty element", literal + temp.path() + L"\\\\release", i, b, log, updater, false},
        {"GLOBALROOT", r, i, L"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\b", log, updater, false},
        {"alternate data stream", r, i, b, log + L":hidden", updater, false},
        {"device name", r, i, b, temp / L"logs\\NUL.log", updater, false},
        {"drive-relative", r, i, L"C:backup", log, updater, false},
        {"wildcard", r + L"*", i, b, log, updater, false},
        {"log in the install folder", r, i, b, i + L"\\update.log", updater, false},
        {"log in the backup folder", r, i, b, b + L"\\logs\\update.log", updater, false},
        {"log in the install folder, other case", r, i, b, upperInstall + L"\\update.log", updater, false},
        {"log in the install folder, forward slashes", r, i, b, slashedInstall + L"/update.log", updater, false},
        {"log in the install folder, trailing dot", r, i, b, i + L".\\update.log", updater, false},
        {"log in the install folder through a link", r, i, b, toInstall.path() + L"\\update.log", updater, false},
        {"log in the release folder", r, i, b, r + L"\\update.log", updater, true},
        {"updater in the install folder", r, i, b, log, i + L"\\QuorilaUpdater.exe", false},
        {"updater in the backup folder", r, i, b, log, b + L"\\tools\\QuorilaUpdater.exe", false},
        {"updater in the release folder", r, i, b, log, r + L"\\QuorilaUpdater.exe", true},
        {"install folder without the application", r, temp / L"parent", b, log, updater, false},
        {"install folder not there yet", r, temp / L"not-yet", b, log, updater, true},
        {"backup folder is a file", r, i, temp / L"a-file", log, updater, false},
        {"backup folder is a link", r, i, toElsewhere.path(), log, updater, false},
        {"backup folder below a link", r, i, toElsewhere.path() + L"\\backup", log, updater, true},
    };
    const test::Tree before = test::snapshot(temp.path());
    for (const Surrounding& row : rows) {
        const auto checked = checkFolderSafety(optionsFor(row.release, row.install, row.backup, row.log), row.updater);
        EXPECT_EQ(checked.has_value(), row.safe) << row.name;
        if (std::string_view(row.name).starts_with("log")) {
            EXPECT_EQ(isLogOutsideFolders(optionsFor(row.release, row.install, row.backup, row.log)), row.safe) << row.name;
        }
    }
    // What the check hands on: the folders as the disk resolves them.
    const auto checked = checkFolderSafety(optionsFor(r, toInstall.path(), b, log), updater);
    ASSERT_TRUE(checked.has_value());
    EXPECT_EQ(checked->install, finalPath(i));
    EXPECT_TRUE(isStillFolder(toInstall.path(), checked->install));
    EXPECT_FALSE(isStillFolder(r, checked->install));
    EXPECT_EQ(test::snapshot(temp.path()), before);
}

// By their texts these are different folders: only the disk tells.
TEST(CheckFolderSafety, SeesThroughLinksAndShortNames)
{
    TempFolder temp;
    const std::wstring r = temp / L"release";
    const std::wstring i = temp / L"Quorila Install Folder";
    const std::wstring b = temp / L"backup";
    test::writeFile(i + L"\\Quorila.exe", "old");
    test::makeFolder(temp / L"elsewhere");
    test::makeFolder(temp / L"Quorila Backup Folder");
    test::Link toInstall(i, temp / L"to-install");
    test::Link toElsewhere(temp / L"elsewhere", temp / L"to-elsewhere");
    test::Link outOfInstall(temp / L"elsewhere", i + L"\\out");
    ASSERT_TRUE(toInstall.made() && toElsewhere.made() && outOfInstall.made());
    const std::wstring installShort = shortPath(i);
    const std::wstring linkedBackup = toInstall.path() + L"\\backup";
    std::error_code ignored;
    ASSERT_FALSE(isSameOrInside(fullPath(linkedBackup, ignored), i, equalIgnoringCase));

    expectDecisions(temp, {
        {r, i, linkedBackup, false},
        {toInstall.path(), i, b, false},
        {r, toInstall.path(), i + L"\\backup", false},
        {r, toInstall.path() + L"\\", temp / L"TO-INSTALL\\..\\Quorila Install Folder", false},
        {r, i, toElsewhere.path() + L"\\backup", true},
        {toElsewhere.path(), i, b, true},
        // inside the install folder by its text, elsewhere on disk: clearing the install folder
        // would take the way to it
        {r, i, outOfInstall.path() + L"\\backup", false},
        {r, i, installShort, false},
        {installShort, i, b, false},
        {r, i, installShort + L"\\backup", false},
        {r, installShort, i + L"\\backup", false},
        {r, i, shortPath(temp / L"Quorila Backup Folder"), true},
    });
    EXPECT_EQ(test::readFile(i + L"\\Quorila.exe"), "old");
}

TEST(CheckFolderSafety, RefusesALinkToADriveRoot)
{
    TempFolder temp;
    test::MappedDrive drive;
    ASSERT_FALSE(drive.root().empty()) << "no spare drive letter could be mapped";
    test::Link toRoot(drive.folder(), temp / L"to-root");
    ASSERT_TRUE(toRoot.made());
    ASSERT_EQ(finalPath(toRoot.path()), L"\\\\?\\" + drive.root());
    const std::wstring r = temp / L"release";
    const std::wstring i = temp / L"install";
    const std::wstring b = temp / L"backup";

    expectDecisions(temp, {
        {r, i, b, true},
        {r, toRoot.path(), b, false},
        {r, i, toRoot.path(), false},
        {toRoot.path() + L"\\", i, b, false},
        {r, i, toRoot.path() + L"\\backup", true},
    });
    EXPECT_TRUE(test::exists(drive.root() + L"marker"));
}

} // namespace
} // namespace quorila
