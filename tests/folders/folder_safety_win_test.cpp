// Folder safety with the platform: full paths, final paths, the file system's comparison of names,
// and the decisions of checkFolderSafety on real folders, links and short names under a temporary
// folder. checkFolderSafety only decides: every test also checks that nothing on disk changed.

#include "folders/folder_safety.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

#include "folders/path_grammar.h"
#include "support/test_support.h"

namespace quorila {
namespace {

using test::TempFolder;

std::string shown(std::wstring_view text)
{
    std::string out = "\"";
    for (wchar_t c : text) {
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return out + "\"";
}

std::wstring widen(const std::string& text)
{
    return std::wstring(text.begin(), text.end());
}

bool pathExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool waitUntil(const std::function<bool()>& condition)
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        if (condition()) {
            return true;
        }
        Sleep(10);
    }
    return condition();
}

// The Linux path of a Windows path, from Wine's own export; empty when not under Wine.
std::string unixPath(const std::wstring& path)
{
    using Convert = char*(CDECL*)(LPCWSTR);
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    if (found == nullptr) {
        return {};
    }
    const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void (*)()>(found));
    char* converted = convert(path.c_str());
    if (converted == nullptr) {
        return {};
    }
    std::string result = converted;
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

// Runs a Linux tool by its Z: path. Wine 8 cannot wait for such a process (the wait fails at
// once), so callers wait for the tool's effect instead.
bool startUnixTool(const wchar_t* tool, const std::wstring& arguments)
{
    return test::startProgram(tool, arguments).has_value();
}

std::wstring inQuotes(const std::string& unix)
{
    return L"\"" + widen(unix) + L"\"";
}

// A symbolic link made with the Linux ln (CreateSymbolicLinkW makes nothing under Wine 8) and
// removed again with rm, which takes the link and never what it points to.
class UnixLink {
public:
    UnixLink(const std::wstring& folder, const std::wstring& name, const std::string& unixTarget)
        : path_(joinPath(folder, name)), unixPath_(unixPath(folder) + "/" + std::string(name.begin(), name.end()))
    {
        made_ = startUnixTool(L"Z:\\bin\\ln", L"-sn " + inQuotes(unixTarget) + L" " + inQuotes(unixPath_)) &&
                waitUntil([this] { return pathExists(path_); });
    }
    ~UnixLink()
    {
        startUnixTool(L"Z:\\bin\\rm", L"-f " + inQuotes(unixPath_));
        EXPECT_TRUE(waitUntil([this] { return !pathExists(path_); })) << "link left behind";
    }
    UnixLink(const UnixLink&) = delete;
    UnixLink& operator=(const UnixLink&) = delete;

    bool made() const { return made_; }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    std::string unixPath_;
    bool made_ = false;
};

// A spare drive letter of this prefix mapped to a fresh Linux folder outside every other drive
// but Z:, so that Wine names paths inside it by this letter. Unmapped at the end.
class MappedDrive {
public:
    MappedDrive()
    {
        const std::string cDrive = unixPath(L"C:\\");
        const std::size_t drivePart = cDrive.rfind("/c:");
        if (drivePart == std::string::npos) {
            return;
        }
        const std::string dosDevices = cDrive.substr(0, drivePart);
        rootText_ = L"Z:\\tmp\\quorila-drive-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(GetTickCount64());
        if (!CreateDirectoryW(rootText_.c_str(), nullptr)) {
            return;
        }
        test::writeFile(rootText_ + L"\\marker", "drive");
        unixRoot_ = unixPath(rootText_);
        for (wchar_t letter = L'Y'; letter >= L'K' && this->letter_ == 0; --letter) {
            const std::wstring root = std::wstring(1, letter) + L":\\";
            if (GetDriveTypeW(root.c_str()) != DRIVE_NO_ROOT_DIR) {
                continue;
            }
            const std::string mapping = dosDevices + "/" + static_cast<char>(letter - L'A' + 'a') + ":";
            if (!startUnixTool(L"Z:\\bin\\ln", L"-sn " + inQuotes(unixRoot_) + L" " + inQuotes(mapping))) {
                return;
            }
            // Another program may have taken the letter at the same moment: ours shows our marker.
            if (waitUntil([&] { return pathExists(root + L"marker"); })) {
                letter_ = letter;
                mapping_ = mapping;
                // Wine refreshes its table of drives about once a second; until then it names the
                // folder by Z:.
                named_ = waitUntil([&] { return finalPath(rootText_) == L"\\\\?\\" + root; });
            }
        }
    }
    ~MappedDrive()
    {
        if (letter_ != 0) {
            startUnixTool(L"Z:\\bin\\rm", L"-f " + inQuotes(mapping_));
            const std::wstring root = std::wstring(1, letter_) + L":\\";
            EXPECT_TRUE(waitUntil([&] { return !pathExists(root); })) << "drive mapping left behind";
        }
        if (!rootText_.empty()) {
            DeleteFileW((rootText_ + L"\\marker").c_str());
            EXPECT_TRUE(RemoveDirectoryW(rootText_.c_str()));
        }
    }
    MappedDrive(const MappedDrive&) = delete;
    MappedDrive& operator=(const MappedDrive&) = delete;

    wchar_t letter() const { return letter_; }
    // True once Wine names paths inside the folder by the letter.
    bool named() const { return named_; }
    const std::string& unixRoot() const { return unixRoot_; }

private:
    std::wstring rootText_;
    std::string unixRoot_;
    std::string mapping_;
    wchar_t letter_ = 0;
    bool named_ = false;
};

std::wstring shortPath(const std::wstring& path)
{
    std::wstring buffer(MAX_PATH * 4, L'\0');
    const DWORD length = GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) {
        return {};
    }
    buffer.resize(length);
    return buffer;
}

std::wstring currentFolder()
{
    std::wstring buffer(32768, L'\0');
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    buffer.resize(length);
    return buffer;
}

// --- fullPath ---

TEST(FullPath, GrowsItsBufferUntilTheWholePathFits)
{
    // Full paths just below, at and above the first buffer's 260 units, and far beyond it.
    for (std::size_t length : {250u, 258u, 259u, 260u, 261u, 262u, 520u, 521u, 5000u, 40000u}) {
        const std::wstring expected = L"C:\\" + std::wstring(length - 3, L'q');
        SCOPED_TRACE(length);
        const FullPath full = fullPath(expected.substr(0, 3) + L"skipped\\..\\" + expected.substr(3));
        EXPECT_EQ(full.error, 0u);
        EXPECT_EQ(full.text.size(), length);
        EXPECT_EQ(full.text, expected);
    }
}

TEST(FullPath, ResolvesAgainstTheCurrentFolderAndDrive)
{
    const std::wstring current = currentFolder();
    ASSERT_FALSE(current.empty());
    EXPECT_EQ(fullPath(L"name\\sub").text, joinPath(current, L"name\\sub"));
    EXPECT_EQ(fullPath(L".\\a\\..\\name").text, joinPath(current, L"name"));
    EXPECT_EQ(fullPath(L"\\top").text, std::wstring(rootName(current)) + L"\\top");
    EXPECT_EQ(fullPath(L"C:/x//y").text, L"C:\\x\\y");
}

TEST(FullPath, ReportsAFailureWithAnErrorAndNoText)
{
    // The platform's one failure here; Wine sets no error for it, so none may leak through.
    for (DWORD before : {DWORD{ERROR_SUCCESS}, DWORD{ERROR_ACCESS_DENIED}}) {
        SetLastError(before);
        const FullPath full = fullPath(L"");
        EXPECT_EQ(full.error, static_cast<unsigned long>(ERROR_INVALID_NAME));
        EXPECT_TRUE(full.text.empty());
    }
}

// --- finalPath and the comparison of names ---

TEST(FinalPath, NamesAnExistingFolderAsTheFileSystemHasIt)
{
    TempFolder temp;
    const std::wstring folder = temp / L"Quorila Long Folder";
    test::makeFolder(folder);
    test::writeFile(temp / L"file.txt", "x");
    const std::wstring expected = L"\\\\?\\" + folder;

    EXPECT_EQ(finalPath(folder), expected);
    EXPECT_EQ(finalPath(folder + L"\\"), expected);
    EXPECT_EQ(finalPath(temp / L"QUORILA LONG FOLDER"), expected);
    const std::wstring shortForm = shortPath(folder);
    ASSERT_FALSE(shortForm.empty());
    EXPECT_NE(shortForm, folder);
    EXPECT_EQ(finalPath(shortForm), expected);

    EXPECT_EQ(finalPath(temp / L"missing"), std::nullopt);
    EXPECT_EQ(finalPath(temp / L"file.txt"), std::nullopt);
}

TEST(FinalPath, FollowsALink)
{
    TempFolder temp;
    const std::wstring target = temp / L"target";
    test::makeFolder(target);
    UnixLink link(temp.path(), L"link", unixPath(target));
    ASSERT_TRUE(link.made());
    EXPECT_EQ(finalPath(link.path()), L"\\\\?\\" + target);
    EXPECT_EQ(finalPath(link.path() + L"\\"), L"\\\\?\\" + target);
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
        SCOPED_TRACE(shown(c.a) + " vs " + shown(c.b));
        EXPECT_EQ(equalIgnoringCase(c.a, c.b), c.equal);
    }
}

// --- isSafeFolder ---

TEST(IsSafeFolder, RefusesEmptyTextsBareNamesAndRoots)
{
    const std::wstring current = currentFolder();
    ASSERT_FALSE(isVolumeRoot(current)) << "the tests must not run in a drive root";
    const std::wstring currentDrive = std::wstring(rootName(current));
    ASSERT_EQ(currentDrive.size(), 2u);

    struct Case {
        std::wstring path;
        bool safe;
    };
    const Case cases[] = {
        {L"", false},
        {L"C:\\", false},
        {L"C:/", false},
        {L"C:\\\\", false},
        {L"\\", false},
        {L"/", false},
        {L"C:\\Quorila\\..", false},
        {L"C:\\Quorila\\..\\.", false},
        {L"name", false},
        {L"..", false},
        {L".", false},
        {L"\\\\server", false},
        {L"name\\", true},
        {L"C:\\Quorila", true},
        {L"C:\\Quorila\\", true},
        {L"C:/Program Files/Quorila/", true},
        {L"C:\\a\\b\\c", true},
        {L"\\Quorila", true},
        {currentDrive, true}, // the current folder of the current drive
        // Not bare roots by the text: held back by the extra rules of checkFolderSafety only.
        {L"\\\\server\\share", true},
        {L"\\\\?\\C:\\", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(shown(c.path));
        EXPECT_EQ(isSafeFolder(c.path), c.safe);
    }
}

// --- checkFolderSafety ---

// The three folders as texts below a temporary folder that exists.
struct Folders {
    std::wstring release;
    std::wstring install;
    std::wstring backup;
};

void expectDecisions(const std::vector<std::pair<Folders, bool>>& cases)
{
    for (const auto& [folders, safe] : cases) {
        SCOPED_TRACE("release " + shown(folders.release) + ", install " + shown(folders.install) + ", backup " +
                     shown(folders.backup));
        EXPECT_EQ(checkFolderSafety(folders.release, folders.install, folders.backup), safe);
    }
}

TEST(CheckFolderSafety, TextualRulesComeFirst)
{
    TempFolder temp;
    test::makeFolder(temp / L"install");
    const test::Tree before = test::snapshot(temp.path());
    const std::wstring r = temp / L"release";
    const std::wstring i = temp / L"install";
    const std::wstring b = temp / L"backup";
    std::wstring slashed = i;
    for (wchar_t& c : slashed) {
        c = c == L'\\' ? L'/' : c;
    }

    expectDecisions({
        {{r, i, b}, true},
        // an unsafe install folder, whatever the others are
        {{r, L"", b}, false},
        {{r, L"C:\\", b}, false},
        {{r, L"\\", b}, false},
        {{r, L"install", b}, false},
        {{r, L"C:\\Quorila\\..", b}, false},
        // two of the three the same text, separators written differently
        {{i, i, b}, false},
        {{slashed, i, b}, false},
        {{r, i, i}, false},
        {{r, i, temp.path() + L"\\\\install"}, false},
        {{r, i, r}, false},
        {{b, i, b}, false},
    });
    EXPECT_EQ(test::snapshot(temp.path()), before);
}

TEST(CheckFolderSafety, RefusesOneFolderWrittenAnotherWay)
{
    TempFolder temp;
    test::makeFolder(temp / L"install");
    const test::Tree before = test::snapshot(temp.path());
    const std::wstring r = temp / L"release";
    const std::wstring i = temp / L"install";
    const std::wstring b = temp / L"backup";
    std::wstring upper = i;
    for (wchar_t& c : upper) {
        c = (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
    }

    expectDecisions({
        {{r, i, upper}, false},
        {{r, i, i + L"\\"}, false},
        {{i + L"\\.", i, b}, false},
        {{r, i, i + L"\\..\\install"}, false},
        {{r, i, L"\\\\?\\" + i}, false},
        {{r, i, L"\\\\?\\" + upper + L"\\"}, false},
        {{i, L"\\\\?\\" + i, b}, false},
        // the same for two folders that do not exist yet (no final path to show the disk's case)
        {{r + L"\\", i, r}, false},
        {{r, i, L"\\\\?\\" + r}, false},
        {{r, i, temp / L"RELEASE"}, false},
        {{r, i, temp / L"Release\\backup"}, false},
        // distinct folders still pass in any spelling
        {{upper + L"\\..\\release", i, L"\\\\?\\" + b}, true},
    });
    EXPECT_EQ(test::snapshot(temp.path()), before);
}

TEST(CheckFolderSafety, RefusesOneFolderInsideAnother)
{
    TempFolder temp;
    test::makeFolder(temp / L"install");
    const test::Tree before = test::snapshot(temp.path());
    const std::wstring r = temp / L"release";
    const std::wstring i = temp / L"install";
    const std::wstring b = temp / L"backup";

    expectDecisions({
        {{i + L"\\release", i, b}, false},
        {{r, i, i + L"\\backup"}, false},
        {{r, i, i + L"\\deep\\er\\backup"}, false},
        {{r, r + L"\\install", b}, false},
        {{r, b + L"\\install", b}, false},
        {{r, i, r + L"\\backup"}, false},
        {{b + L"\\release", i, b}, false},
        {{r, i, L"\\\\?\\" + i + L"\\BACKUP"}, false},
        {{r, i, temp / L"INSTALL/backup"}, false},
        // names that only begin alike are not inside one another
        {{temp / L"install-release", i, temp / L"install.backup"}, true},
        {{temp / L"in", i, temp / L"installation"}, true},
    });
    EXPECT_EQ(test::snapshot(temp.path()), before);
}

TEST(CheckFolderSafety, RefusesRootsForEveryFolder)
{
    TempFolder temp;
    const std::wstring r = temp / L"release";
    const std::wstring i = temp / L"install";
    const std::wstring b = temp / L"backup";
    ASSERT_TRUE(checkFolderSafety(r, i, b));

    const std::wstring roots[] = {
        L"",
        L"C:\\",
        L"C:/",
        L"\\",
        L"C:\\Quorila\\..",
        L"release",
        L"\\\\?\\C:\\",
        L"\\\\?\\C:",
        L"\\\\.\\C:\\",
        L"\\\\?\\C:\\Quorila\\..",
        L"\\\\server\\share",
        L"\\\\server\\share\\",
        L"//server/share",
        L"\\\\server\\share\\Quorila\\..",
        L"\\\\?\\UNC\\server\\share\\",
        L"\\\\server",
    };
    for (const std::wstring& root : roots) {
        SCOPED_TRACE(shown(root));
        EXPECT_FALSE(checkFolderSafety(root, i, b));
        EXPECT_FALSE(checkFolderSafety(r, root, b));
        EXPECT_FALSE(checkFolderSafety(r, i, root));
    }
    EXPECT_TRUE(test::snapshot(temp.path()).empty());
}

TEST(CheckFolderSafety, SeesThroughALinkToAnotherFolder)
{
    TempFolder temp;
    const std::wstring r = temp / L"release";
    const std::wstring i = temp / L"install";
    const std::wstring b = temp / L"backup";
    test::makeFolder(i);
    test::writeFile(i + L"\\Quorila.exe", "old");
    test::makeFolder(temp / L"elsewhere");
    UnixLink toInstall(temp.path(), L"to-install", unixPath(i));
    UnixLink toElsewhere(temp.path(), L"to-elsewhere", unixPath(temp / L"elsewhere"));
    UnixLink outOfInstall(i, L"out", unixPath(temp / L"elsewhere"));
    ASSERT_TRUE(toInstall.made());
    ASSERT_TRUE(toElsewhere.made());
    ASSERT_TRUE(outOfInstall.made());
    const test::Tree before = test::snapshot(temp.path());

    // By their texts these are different folders: only the disk tells.
    const std::wstring linkedBackup = toInstall.path() + L"\\backup";
    ASSERT_FALSE(isSameOrInside(fullPath(linkedBackup).text, i, equalIgnoringCase));

    expectDecisions({
        {{r, i, linkedBackup}, false},
        {{toInstall.path(), i, b}, false},
        {{r, toInstall.path(), i + L"\\backup"}, false},
        {{r, toInstall.path() + L"\\", temp / L"TO-INSTALL\\..\\install"}, false},
        {{r, i, toElsewhere.path() + L"\\backup"}, true},
        // inside the install folder by its text, elsewhere on disk: clearing the install folder
        // would take the way to it
        {{r, i, outOfInstall.path() + L"\\backup"}, false},
        {{toElsewhere.path(), i, b}, true},
    });
    EXPECT_EQ(test::snapshot(temp.path()), before);
    EXPECT_EQ(test::readFile(i + L"\\Quorila.exe"), "old");
}

TEST(CheckFolderSafety, SeesThroughAShortName)
{
    TempFolder temp;
    const std::wstring r = temp / L"release";
    const std::wstring i = temp / L"Quorila Install Folder";
    const std::wstring b = temp / L"backup";
    test::makeFolder(i);
    test::makeFolder(temp / L"Quorila Backup Folder");
    const std::wstring installShort = shortPath(i);
    const std::wstring backupShort = shortPath(temp / L"Quorila Backup Folder");
    ASSERT_FALSE(installShort.empty());
    ASSERT_NE(fileName(installShort), fileName(i)) << "no short name made";
    const test::Tree before = test::snapshot(temp.path());

    expectDecisions({
        {{r, i, installShort}, false},
        {{installShort, i, b}, false},
        {{r, i, installShort + L"\\backup"}, false},
        {{r, installShort, i + L"\\backup"}, false},
        {{r, i, backupShort}, true},
    });
    EXPECT_EQ(test::snapshot(temp.path()), before);
}

TEST(CheckFolderSafety, RefusesALinkToADriveRoot)
{
    TempFolder temp;
    MappedDrive drive;
    ASSERT_NE(drive.letter(), 0) << "no spare drive letter could be mapped";
    const std::wstring driveRoot = std::wstring(1, drive.letter()) + L":\\";
    UnixLink toRoot(temp.path(), L"to-root", drive.unixRoot());
    ASSERT_TRUE(toRoot.made());
    ASSERT_TRUE(drive.named());
    ASSERT_EQ(finalPath(toRoot.path()), L"\\\\?\\" + driveRoot);
    const std::wstring r = temp / L"release";
    const std::wstring i = temp / L"install";
    const std::wstring b = temp / L"backup";
    const test::Tree before = test::snapshot(temp.path());

    expectDecisions({
        {{r, i, b}, true},
        {{r, toRoot.path(), b}, false},
        {{r, i, toRoot.path()}, false},
        {{toRoot.path() + L"\\", i, b}, false},
        {{r, i, toRoot.path() + L"\\backup"}, true},
    });
    EXPECT_EQ(test::snapshot(temp.path()), before);
    EXPECT_TRUE(pathExists(driveRoot + L"marker"));
}

} // namespace
} // namespace quorila
