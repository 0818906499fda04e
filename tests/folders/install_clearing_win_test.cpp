// Clearing the install folder and removing whole trees, on real folders under Wine.

#include "folders/install_clearing.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "folders/file_ops.h"
#include "folders/folder_links.h"
#include "folders/path_grammar.h"
#include "log/update_log.h"
#include "support/test_support.h"

namespace quorila {
namespace {

using test::Tree;

class InstallClearingTest : public ::testing::Test {
protected:
    std::vector<std::wstring> lines() { return test::logMessages(logPath); }

    test::TempFolder temp;
    std::wstring logPath = temp / L"update.log";
    UpdateLog log = openUpdateLog(logPath);
};

// The full paths of the entries directly in `folder`, in the order the clearing meets them.
std::vector<std::wstring> listingOrder(const std::wstring& folder)
{
    std::vector<std::wstring> order;
    std::error_code error;
    for (FolderListing listing(folder, FolderListing::Depth::plain, error); !error && !listing.atEnd();
         listing.increment(error)) {
        order.push_back(listing.path());
    }
    EXPECT_FALSE(error);
    return order;
}

void makeReadOnly(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY));
    ASSERT_NE(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

std::vector<std::wstring> sorted(std::vector<std::wstring> texts)
{
    std::sort(texts.begin(), texts.end());
    return texts;
}

// The entries of `tree` that lie below `top` (a name directly in the root), `top` included.
Tree below(const Tree& tree, const std::wstring& top)
{
    Tree part;
    for (const auto& [relative, content] : tree) {
        if (relative == top || relative.rfind(top + L"\\", 0) == 0) {
            part[relative] = content;
        }
    }
    return part;
}

TEST_F(InstallClearingTest, EmptyOrAbsentFolderIsClearedWithoutALine)
{
    const std::wstring empty = temp / L"empty";
    test::makeFolder(empty);
    const std::wstring absent = temp / L"absent";

    EXPECT_TRUE(clearInstallFolder(empty, log));
    EXPECT_TRUE(clearInstallFolder(absent, log));

    EXPECT_TRUE(test::isFolder(empty));
    EXPECT_FALSE(test::exists(absent));
    EXPECT_TRUE(lines().empty());
}

// Entries whose names begin with "unins" in any letter case stay with all their contents, one
// line each naming the entry alone; everything else goes.
TEST_F(InstallClearingTest, KeepsInstallerMaintenanceEntriesOnly)
{
    struct Case {
        const char* name;
        Tree tree;
        std::vector<std::wstring> kept; // names directly in the folder
    };
    const Case cases[] = {
        {"only the installer's files",
         {{L"unins000.exe", "uninstaller"}, {L"unins000.dat", "uninstall data"}},
         {L"unins000.dat", L"unins000.exe"}},
        {"letter case, folders and near misses",
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
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring install = temp / (L"install" + std::to_wstring(index++));
        test::writeTree(install, c.tree);
        const Tree before = test::snapshot(install);
        Tree expected;
        std::vector<std::wstring> expectedLines;
        for (const std::wstring& name : c.kept) {
            const Tree part = below(before, name);
            ASSERT_FALSE(part.empty());
            expected.insert(part.begin(), part.end());
            expectedLines.push_back(L"Installer bakım dosyası korunuyor: " + name);
        }
        const auto linesBefore = lines();

        EXPECT_TRUE(clearInstallFolder(install, log));

        EXPECT_EQ(test::snapshot(install), expected);
        std::vector<std::wstring> written = lines();
        written.erase(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(linesBefore.size()));
        EXPECT_EQ(sorted(written), sorted(expectedLines));
    }
}

TEST_F(InstallClearingTest, RemovesReadOnlyFilesAndNestedFolders)
{
    const std::wstring install = temp / L"install";
    test::writeTree(install, {
                                 {L"Quorila.exe", "application"},
                                 {L"readonly.txt", "read only"},
                                 {L"data\\a\\b\\c.txt", "c"},
                                 {L"data\\a\\readonly.txt", "read only inside"},
                                 {L"data\\empty", "<dir>"},
                             });
    for (const wchar_t* name : {L"readonly.txt", L"data\\a\\readonly.txt"}) {
        makeReadOnly(joinPath(install, name));
    }

    EXPECT_TRUE(clearInstallFolder(install, log));

    EXPECT_TRUE(test::isFolder(install));
    EXPECT_TRUE(test::snapshot(install).empty());
    EXPECT_TRUE(lines().empty());
}

TEST_F(InstallClearingTest, FolderThatCannotBeListedIsReported)
{
    const std::wstring install = temp / L"install";
    test::writeFile(install, "a file, not a folder");

    EXPECT_FALSE(clearInstallFolder(install, log));

    EXPECT_EQ(lines(), std::vector<std::wstring>{L"Klasör listelenemedi: " + install});
    EXPECT_EQ(test::readFile(install), "a file, not a folder");
}

// An entry held open by another process ends the clearing at that entry: the entries listed
// before it are gone, it and the ones after it stay, one line names the entry directly in the
// install folder (also when what failed lies deep inside it).
TEST_F(InstallClearingTest, EntryInUseStopsTheClearingThere)
{
    struct Case {
        const char* name;
        std::wstring heldBelowEntry; // relative to the held entry; empty: the entry is the file
    };
    const Case cases[] = {{"file", L""}, {"file inside a folder", L"inner\\held.txt"}};
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring install = temp / (L"install" + std::to_wstring(index++));
        for (const wchar_t* name : {L"a", L"b", L"c", L"d", L"e", L"f", L"g"}) {
            test::writeTree(joinPath(install, name), {{L"content.txt", "in folder"}});
            test::writeFile(joinPath(install, std::wstring(name) + L".txt"), "file");
        }
        const std::vector<std::wstring> order = listingOrder(install);
        ASSERT_EQ(order.size(), 14u);
        // A folder entry for the deep case, a file entry otherwise, near the middle of the listing.
        std::size_t heldEntry = order.size() / 2;
        while (heldEntry + 1 < order.size() && test::isFolder(order[heldEntry]) == c.heldBelowEntry.empty()) {
            ++heldEntry;
        }
        ASSERT_LT(heldEntry + 1, order.size());
        std::wstring held = order[heldEntry];
        if (!c.heldBelowEntry.empty()) {
            held = joinPath(held, c.heldBelowEntry);
            test::writeFile(held, "held");
        }
        const auto heldContent = test::readFile(held);
        ASSERT_TRUE(heldContent.has_value());
        const Tree before = test::snapshot(install);
        const auto linesBefore = lines().size();

        {
            test::FileLock lock(held, 1); // FILE_SHARE_READ: readable, not deletable
            ASSERT_TRUE(lock.held());
            EXPECT_FALSE(clearInstallFolder(install, log));
        }

        const std::vector<std::wstring> all = lines();
        ASSERT_EQ(all.size(), linesBefore + 1);
        EXPECT_EQ(all.back(), L"Dosya silinemedi: " + order[heldEntry]);
        EXPECT_EQ(test::readFile(held), heldContent);
        for (std::size_t i = 0; i < order.size(); ++i) {
            if (i < heldEntry) {
                EXPECT_FALSE(test::exists(order[i])) << i;
            } else if (i > heldEntry) {
                const std::wstring name(fileName(order[i]));
                EXPECT_TRUE(test::exists(order[i])) << i;
                EXPECT_EQ(below(test::snapshot(install), name), below(before, name)) << i;
            }
        }
    }
}

// A link to a folder outside the install folder goes as a link or not at all: what it reaches
// keeps every file. (Under Wine 8 a link to a non-empty folder cannot be removed: a clean
// failure of that entry.)
TEST_F(InstallClearingTest, LinkToAnOutsideFolderIsNeverEntered)
{
    const std::wstring install = temp / L"install";
    const std::wstring outside = temp / L"outside";
    test::writeTree(install, {{L"Quorila.exe", "application"}});
    test::writeTree(outside, {{L"a.txt", "outside a"}, {L"nested\\b.txt", "outside b"}});
    const Tree outsideBefore = test::snapshot(outside);
    const std::wstring link = joinPath(install, L"linked");
    if (!test::makeLink(outside, link)) {
        ASSERT_FALSE(test::underWine()) << "ln -s under Wine made no link";
        GTEST_SKIP() << "this account may not make symbolic links";
    }

    const bool cleared = clearInstallFolder(install, log);

    EXPECT_EQ(test::snapshot(outside), outsideBefore);
    if (cleared) {
        EXPECT_FALSE(test::exists(link));
        EXPECT_TRUE(lines().empty());
    } else {
        EXPECT_TRUE(test::underWine());
        EXPECT_EQ(lines(), std::vector<std::wstring>{L"Dosya silinemedi: " + link});
        EXPECT_TRUE(test::isFolder(link));
        EXPECT_TRUE(test::removeLink(link));
    }
    EXPECT_EQ(test::snapshot(outside), outsideBefore);
}

// An install folder whose own path passes 260 characters (MinGW's listing would read the current
// folder in its place).
TEST_F(InstallClearingTest, ClearsAFolderWhosePathPassesTheOldLimit)
{
    const std::wstring install = temp / (std::wstring(130, L'i') + L"\\" + std::wstring(130, L'j'));
    ASSERT_GT(install.size(), 260u);
    test::writeTree(install, {{L"Quorila.exe", "application"}, {L"data\\a.txt", "a"}, {L"unins000.exe", "kept"}});

    EXPECT_TRUE(clearInstallFolder(install, log));

    EXPECT_FALSE(test::exists(joinPath(install, L"Quorila.exe")));
    EXPECT_FALSE(test::exists(joinPath(install, L"data")));
    EXPECT_EQ(test::readFile(joinPath(install, L"unins000.exe")), "kept");
    EXPECT_EQ(lines(), std::vector<std::wstring>{L"Installer bakım dosyası korunuyor: unins000.exe"});
}

TEST(RemoveTree, RemovesFilesAndWholeTrees)
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
    makeReadOnly(temp / L"readonly.txt");
    makeReadOnly(temp / L"tree\\sub\\deeper\\c.txt");
    std::error_code error;
    test::writeFile(temp / L"kept.txt", "kept");

    for (const wchar_t* name : {L"tree", L"single.txt", L"readonly.txt", L"missing", L"missing\\deeper"}) {
        SCOPED_TRACE(::testing::Message() << name);
        error = std::make_error_code(std::errc::io_error);
        removeTree(temp / name, error);
        EXPECT_FALSE(error) << error.message();
        EXPECT_FALSE(test::exists(temp / name));
    }
    EXPECT_EQ(test::snapshot(temp.path()), (Tree{{L"kept.txt", "kept"}}));
}

TEST(RemoveTree, FirstFailureEndsTheRemovalAndIsReported)
{
    test::TempFolder temp;
    const std::wstring tree = temp / L"tree";
    test::writeTree(tree, {{L"held.txt", "held"}});
    {
        test::FileLock lock(joinPath(tree, L"held.txt"), 1);
        ASSERT_TRUE(lock.held());
        std::error_code error;
        removeTree(tree, error);
        EXPECT_TRUE(error);
    }
    EXPECT_EQ(test::readFile(joinPath(tree, L"held.txt")), "held");
}

// Removing a folder that holds a link to a folder elsewhere never reaches through the link.
TEST(RemoveTree, NeverReachesThroughALink)
{
    test::TempFolder temp;
    const std::wstring tree = temp / L"tree";
    const std::wstring outside = temp / L"outside";
    test::writeTree(tree, {{L"a.txt", "a"}, {L"sub\\b.txt", "b"}});
    test::writeTree(outside, {{L"x.txt", "outside x"}, {L"nested\\y.txt", "outside y"}});
    const Tree outsideBefore = test::snapshot(outside);
    const std::wstring link = joinPath(tree, L"sub\\linked");
    if (!test::makeLink(outside, link)) {
        ASSERT_FALSE(test::underWine()) << "ln -s under Wine made no link";
        GTEST_SKIP() << "this account may not make symbolic links";
    }

    for (const std::wstring& path : {link, tree}) {
        std::error_code error;
        removeTree(path, error);
        EXPECT_EQ(test::snapshot(outside), outsideBefore);
        if (error) {
            // Wine 8 refuses to remove a link to a non-empty folder; nothing went through it.
            EXPECT_TRUE(test::underWine()) << error.message();
            EXPECT_TRUE(test::isFolder(link));
        } else {
            EXPECT_FALSE(test::exists(path));
        }
    }
    if (test::exists(link)) {
        EXPECT_TRUE(test::removeLink(link));
    }
    EXPECT_EQ(test::snapshot(outside), outsideBefore);
}

} // namespace
} // namespace quorila
