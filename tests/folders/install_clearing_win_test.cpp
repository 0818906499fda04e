// Clearing the install folder and removing whole trees, on real folders under Wine.

#include "folders/install_clearing.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "folders/file_ops.h"
#include "folders/path_grammar.h"
#include "log/update_log.h"
#include "support/links.h"
#include "support/test_support.h"

namespace quorila {
namespace {

using test::Tree;

class InstallClearingTest : public ::testing::Test {
protected:
    // The lines written since the last call.
    std::vector<std::wstring> newLines()
    {
        std::vector<std::wstring> all = test::logMessages(logPath);
        std::vector<std::wstring> added(all.begin() + static_cast<std::ptrdiff_t>(seen), all.end());
        seen = all.size();
        return added;
    }

    // The clearing of a folder as it is now.
    bool clear(const std::wstring& install)
    {
        return clearInstallFolder(install, fileId(install).value_or(FileId{}), log);
    }

    test::TempFolder temp;
    std::wstring logPath = temp / L"update.log";
    UpdateLog log = openUpdateLog(logPath);
    std::size_t seen = 0;
};

void makeReadOnly(const std::wstring& path)
{
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), GetFileAttributesW(path.c_str()) | FILE_ATTRIBUTE_READONLY));
    ASSERT_NE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

// The name directly in the root that `relative` lies in (or is).
std::wstring topName(const std::wstring& relative)
{
    return relative.substr(0, relative.find(L'\\'));
}

// Entries whose names begin with "unins" in any letter case stay with all their contents, one
// line each naming the entry alone; everything else goes, read-only files too. The folder itself
// stays, and an absent folder is no error.
TEST_F(InstallClearingTest, KeepsOnlyInstallerMaintenanceEntries)
{
    struct Case {
        const char* name;
        std::wstring folder; // below the test folder
        Tree tree;
        std::vector<std::wstring> kept; // names directly in the folder
        std::vector<std::wstring> readOnly;
        bool absent = false;
    };
    const Case cases[] = {
        {"absent folder", L"absent", {}, {}, {}, true},
        {"empty folder", L"empty", {}, {}},
        {"only the installer's files",
         L"install1",
         {{L"unins000.exe", "uninstaller"}, {L"unins000.dat", "uninstall data"}},
         {L"unins000.dat", L"unins000.exe"}},
        {"letter case, folders and near misses",
         L"install2",
         {{L"Unins000.exe", "uninstaller"},
          {L"UNINS000.DAT", "uninstall data"},
          {L"unins-data\\log.txt", "log"},
          {L"unins-data\\sub\\more.txt", "more"},
          {L"unin.exe", "too short"},
          {L"xunins.exe", "prefix later"},
          {L"Quorila.exe", "application"},
          {L"data\\config.ini", "config"},
          {L"Ağaç Klasörü\\ıİ.txt", "türkçe"}},
         {L"UNINS000.DAT", L"Unins000.exe", L"unins-data"}},
        {"read-only files and nested folders",
         L"install3",
         {{L"Quorila.exe", "application"},
          {L"readonly.txt", "read only"},
          {L"data\\a\\b\\c.txt", "c"},
          {L"data\\a\\readonly.txt", "read only inside"},
          {L"data\\empty", "<dir>"}},
         {},
         {L"readonly.txt", L"data\\a\\readonly.txt"}},
        // (MinGW's listing would read the current folder in place of this one.)
        {"path past the old limit of 260",
         std::wstring(130, L'i') + L"\\" + std::wstring(130, L'j'),
         {{L"Quorila.exe", "application"}, {L"data\\a.txt", "a"}, {L"unins000.exe", "kept"}},
         {L"unins000.exe"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring install = temp / c.folder;
        if (!c.absent) {
            test::writeTree(install, c.tree);
        }
        for (const std::wstring& name : c.readOnly) {
            makeReadOnly(joinPath(install, name));
        }

        EXPECT_TRUE(clear(install));

        EXPECT_EQ(test::isFolder(install), !c.absent);
        EXPECT_EQ(test::exists(install), !c.absent);
        // (Each entry on its own: snapshot() lists with MinGW's iterator.)
        for (const auto& [relative, content] : c.tree) {
            const std::wstring path = joinPath(install, relative);
            if (std::find(c.kept.begin(), c.kept.end(), topName(relative)) == c.kept.end()) {
                EXPECT_FALSE(test::exists(path)) << relative.size();
            } else if (content == "<dir>") {
                EXPECT_TRUE(test::isFolder(path));
            } else {
                EXPECT_EQ(test::readFile(path), content);
            }
        }
        std::vector<std::wstring> expectedLines;
        for (const std::wstring& name : c.kept) {
            expectedLines.push_back(L"Installer bakım dosyası korunuyor: " + name);
        }
        std::vector<std::wstring> written = newLines();
        std::sort(written.begin(), written.end());
        std::sort(expectedLines.begin(), expectedLines.end());
        EXPECT_EQ(written, expectedLines);
    }
}

TEST_F(InstallClearingTest, FolderThatCannotBeListedIsReported)
{
    const std::wstring install = temp / L"install";
    test::writeFile(install, "a file, not a folder");

    EXPECT_FALSE(clear(install));

    EXPECT_EQ(newLines(), std::vector<std::wstring>{L"Klasör listelenemedi: " + install});
    EXPECT_EQ(test::readFile(install), "a file, not a folder");
}

TEST(RemoveTree, RemovesFilesWholeTreesAndReadOnlyFiles)
{
    test::TempFolder temp;
    test::writeTree(temp / L"tree", {
                                        {L"a.txt", "a"},
                                        {L"sub\\b.txt", "b"},
                                        {L"sub\\deeper\\c.txt", "c"},
                                        {L"sub\\empty", "<dir>"},
                                        {L"Ağaç ı\\ö ç.txt", "türkçe"},
                                    });
    test::writeFile(temp / L"single.txt", "single");
    test::writeFile(temp / L"readonly.txt", "read only");
    test::writeFile(temp / L"kept.txt", "kept");
    makeReadOnly(temp / L"readonly.txt");
    makeReadOnly(temp / L"tree\\sub\\deeper\\c.txt");

    for (const wchar_t* name : {L"tree", L"single.txt", L"readonly.txt", L"missing", L"missing\\deeper"}) {
        std::error_code error = std::make_error_code(std::errc::io_error);
        removeTree(temp / name, error);
        EXPECT_FALSE(error) << error.message();
        EXPECT_FALSE(test::exists(temp / name));
    }
    EXPECT_EQ(test::snapshot(temp.path()), (Tree{{L"kept.txt", "kept"}}));
}

// A removal starts only where the folders are still those that were checked.
TEST_F(InstallClearingTest, NothingIsRemovedOnceAFolderIsAnotherThanTheOneChecked)
{
    test::writeTree(temp / L"install", {{L"Quorila.exe", "application"}, {L"data\\a.txt", "a"}});
    test::makeFolder(temp / L"other");
    const Tree before = test::snapshot(temp / L"install");
    const FileId other = fileId(temp / L"other").value();
    std::error_code error;
    removeTree(temp / L"install", error, {.folder = std::nullopt, .self = other});
    EXPECT_TRUE(error);
    removeTree(temp / L"install\\data", error, {.folder = other, .self = std::nullopt});
    EXPECT_TRUE(error);
    EXPECT_FALSE(clearInstallFolder(temp / L"install", other, log));
    const auto lines = newLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with(L"Dosya silinemedi: " + temp / L"install\\")) << lines[0].size();
    EXPECT_EQ(test::snapshot(temp / L"install"), before);

    EXPECT_FALSE(removeWholeFolder(temp / L"install", other, log));
    EXPECT_EQ(newLines(), std::vector<std::wstring>{L"Dosya silinemedi: " + temp / L"install"});
    EXPECT_EQ(test::snapshot(temp / L"install"), before);

    removeTree(temp / L"install", error, {.folder = fileId(temp.path()), .self = fileId(temp / L"install")});
    EXPECT_FALSE(error) << error.message();
    EXPECT_FALSE(test::exists(temp / L"install"));
}

// The old backup is gone whole or the backup step stops: a folder that another program holds
// open (with delete sharing) stays after its removal reported no error, until that program lets
// go; that is no removal.
TEST_F(InstallClearingTest, AFolderThatStaysAfterItsRemovalIsNotRemoved)
{
    const std::wstring backup = temp / L"backup";
    test::writeTree(backup, {{L"a.txt", "a"}});
    {
        test::FileLock lock(backup, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        ASSERT_TRUE(lock.held());
        EXPECT_FALSE(removeWholeFolder(backup, fileId(backup), log));
        EXPECT_EQ(newLines(), std::vector<std::wstring>{L"Dosya silinemedi: " + backup});
    }
    EXPECT_TRUE(test::waitUntil([&] { return !test::exists(backup); }));
    EXPECT_TRUE(removeWholeFolder(backup, std::nullopt, log));
    EXPECT_TRUE(newLines().empty());
}

// A link goes as a link or not at all: what it reaches keeps every file, whether a folder with
// files, an empty folder or a file (Wine deletes what the last two point to through any delete of
// the link; there the removal fails cleanly, with the link and its target in place).
TEST_F(InstallClearingTest, LinksAreRemovedAsThemselvesOrNotAtAll)
{
    const std::wstring outside = temp / L"outside";
    test::writeTree(outside, {{L"a.txt", "outside a"}, {L"nested\\b.txt", "outside b"}, {L"empty", "<dir>"}});
    const Tree outsideBefore = test::snapshot(outside);
    for (const wchar_t* target : {L"nested", L"empty", L"a.txt"}) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(target)));
        const std::wstring install = temp / (L"install-" + std::wstring(target));
        const std::wstring tree = temp / (L"tree-" + std::wstring(target));
        test::writeTree(install, {{L"Quorila.exe", "application"}});
        test::writeTree(tree, {{L"a.txt", "a"}, {L"sub\\b.txt", "b"}});
        const test::Link inInstall(joinPath(outside, target), install + L"\\linked");
        const test::Link inTree(joinPath(outside, target), tree + L"\\sub\\linked");
        ASSERT_TRUE(inInstall.made() && inTree.made());
        const bool cleared = clear(install);
        EXPECT_EQ(cleared, !test::underWine());
        EXPECT_EQ(test::exists(inInstall.path()), !cleared);
        EXPECT_EQ(newLines(), cleared ? std::vector<std::wstring>{}
                                      : std::vector<std::wstring>{L"Dosya silinemedi: " + inInstall.path()});
        EXPECT_EQ(test::snapshot(outside), outsideBefore);

        for (const std::wstring& path : {inTree.path(), tree}) {
            std::error_code error;
            removeTree(path, error);
            EXPECT_EQ(test::snapshot(outside), outsideBefore);
            EXPECT_EQ(error.operator bool(), test::underWine()) << error.message();
        }
    }
}

} // namespace
} // namespace quorila
