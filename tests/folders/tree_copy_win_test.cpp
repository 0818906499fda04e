// The tree copy on real folders under Wine: what lands in the destination, what stays, and the one
// line of each failure.

#include "folders/tree_copy.h"

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

class TreeCopyTest : public ::testing::Test {
protected:
    std::vector<std::wstring> lines() { return test::logMessages(logPath); }

    test::TempFolder temp;
    std::wstring logPath = temp / L"update.log";
    UpdateLog log = openUpdateLog(logPath);
};

// Source and destination spelled as a caller may spell them: the listing's paths must still map
// onto the destination entry by entry. Existing files are overwritten, nothing is deleted.
TEST_F(TreeCopyTest, CopiesEveryFolderAndFileOverWhatTheDestinationHolds)
{
    const Tree release = {
        {L"Quorila.exe", "new exe"}, {L"data", "<dir>"}, {L"data\\config.ini", "new config"}, {L"data\\empty", "<dir>"},
        {L"data\\deep", "<dir>"}, {L"data\\deep\\deeper", "<dir>"}, {L"data\\deep\\deeper\\note.txt", "note"},
        {L"boş klasör", "<dir>"}, {L"Ağaç Klasörü", "<dir>"}, {L"Ağaç Klasörü\\Şeker ıİğĞüÜöÖçÇ.txt", "türkçe içerik"},
        {L"with blank.txt", "blank"}, {L"unins000.dat", "installer data from the release"},
    };
    const Tree existing = {
        {L"Quorila.exe", "old exe"}, {L"data", "<dir>"}, {L"data\\config.ini", "old config"},
        {L"data\\local.db", "user data"}, {L"unins000.dat", "installer data"}, {L"kept folder", "<dir>"},
        {L"kept folder\\x.txt", "x"},
    };
    struct Case {
        const char* name;
        std::wstring destination; // below the test folder
        Tree sourceTree;
        Tree destinationTree; // empty: no destination yet
        std::wstring sourceSuffix;
        std::wstring destinationSuffix;
        bool forwardSlashes = false;
    };
    const Case cases[] = {
        {"plain", L"install Klasör 0", release, existing},
        {"trailing separators", L"install Klasör 1", release, existing, L"\\", L"\\\\"},
        {"forward slashes", L"install Klasör 2", release, existing, L"/", L"", true},
        {"empty source, new destination", L"new\\levels\\destination", {}, {}},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring source = temp / (L"release" + std::to_wstring(index++));
        const std::wstring destination = temp / c.destination;
        test::writeTree(source, c.sourceTree);
        if (!c.destinationTree.empty()) {
            test::writeTree(destination, c.destinationTree);
        }
        Tree expected = c.destinationTree;
        for (const auto& [relative, content] : c.sourceTree) {
            expected[relative] = content;
        }
        std::wstring sourceArgument = source + c.sourceSuffix;
        std::wstring destinationArgument = destination + c.destinationSuffix;
        if (c.forwardSlashes) {
            std::replace(sourceArgument.begin(), sourceArgument.end(), L'\\', L'/');
            std::replace(destinationArgument.begin(), destinationArgument.end(), L'\\', L'/');
        }

        EXPECT_TRUE(copyTree(sourceArgument, destinationArgument, LinksInSource::madePlain, log));

        EXPECT_TRUE(test::isFolder(destination));
        EXPECT_EQ(test::snapshot(destination), expected);
        EXPECT_EQ(test::snapshot(source), c.sourceTree);
    }
    EXPECT_TRUE(lines().empty());
}

// Each failure ends the copy with exactly one line, and nothing in the case's folder changes but
// what the case names.
TEST_F(TreeCopyTest, EachFailureEndsTheCopyWithItsOneLine)
{
    struct Case {
        const char* name;
        Tree laid;          // the case's folder: "release" is the source, "install" the destination
        const wchar_t* line; // followed by the path `named`
        std::wstring named;
        Tree added;
    };
    const Case cases[] = {
        {"absent source", {}, L"Kaynak klasör bulunamadı: ", L"release", {}},
        {"source is a file", {{L"release", "not a folder"}}, L"Kaynak klasör okunamadı: ", L"release",
         {{L"install", "<dir>"}}},
        {"file in place of the destination", {{L"release\\data\\config.ini", "new"}, {L"install", "in the way"}},
         L"Klasör oluşturulamadı: ", L"install", {}},
        {"file in place of a folder", {{L"release\\data\\config.ini", "new"}, {L"install\\data", "in the way"}},
         L"Klasör oluşturulamadı: ", L"install\\data", {}},
        {"folder in place of a file", {{L"release\\Quorila.exe", "new"}, {L"install\\Quorila.exe\\inside.txt", "x"}},
         L"Dosya kopyalanamadı: ", L"release\\Quorila.exe", {}},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring folder = temp / (L"case" + std::to_wstring(index++));
        test::writeTree(folder, c.laid);
        Tree expected = test::snapshot(folder);
        expected.insert(c.added.begin(), c.added.end());
        const std::size_t before = lines().size();

        EXPECT_FALSE(copyTree(joinPath(folder, L"release"), joinPath(folder, L"install"), LinksInSource::madePlain, log));

        const std::vector<std::wstring> all = lines();
        ASSERT_EQ(all.size(), before + 1);
        EXPECT_EQ(all.back(), c.line + joinPath(folder, c.named));
        EXPECT_EQ(test::snapshot(folder), expected);
    }
}

// Links in the source. Made plain (the backup, the copy back): a linked folder becomes a plain,
// empty folder at its own place (its contents lie elsewhere and are not copied) and a linked file
// is copied with its target's content. Refused (the release): the copy fails at the link. Either
// way the folder the link reaches keeps every file.
TEST_F(TreeCopyTest, LinksAreMadePlainOrRefusedAndTheLinkedFolderIsNotEntered)
{
    const std::wstring source = temp / L"release";
    const std::wstring outside = temp / L"outside";
    test::writeTree(source, {{L"inside.txt", "inside"}, {L"sub\\x.txt", "x"}});
    test::writeTree(outside, {{L"a.txt", "outside a"}, {L"nested\\b.txt", "outside b"}});
    const Tree outsideBefore = test::snapshot(outside);
    const test::Link folderLink(outside, joinPath(source, L"linked"));
    const test::Link fileLink(joinPath(outside, L"a.txt"), joinPath(source, L"sub\\linked.txt"));
    if (!folderLink.made() || !fileLink.made()) {
        GTEST_SKIP() << "this account may not make symbolic links";
    }
    ASSERT_TRUE(isReparsePoint(folderLink.path()));
    const Tree sourceBefore = test::snapshot(source);

    EXPECT_TRUE(copyTree(source, temp / L"install", LinksInSource::madePlain, log));
    EXPECT_EQ(test::snapshot(temp / L"install"), (Tree{{L"inside.txt", "inside"}, {L"linked", "<dir>"},
                                                       {L"sub", "<dir>"}, {L"sub\\x.txt", "x"},
                                                       {L"sub\\linked.txt", "outside a"}}));
    EXPECT_FALSE(isReparsePoint(temp / L"install\\linked"));
    EXPECT_TRUE(lines().empty());

    EXPECT_FALSE(copyTree(source, temp / L"install2", LinksInSource::refused, log));
    EXPECT_EQ(lines(), std::vector<std::wstring>{L"Dosya kopyalanamadı: " + folderLink.path()});
    EXPECT_FALSE(test::exists(temp / L"install2\\linked"));

    EXPECT_EQ(test::snapshot(outside), outsideBefore);
    EXPECT_EQ(test::snapshot(source), sourceBefore);
}

// A folder below the source that cannot be listed fails the copy: it is never taken for an empty
// folder (a release would be installed without it).
TEST_F(TreeCopyTest, AFolderThatCannotBeListedFailsTheCopy)
{
    const std::wstring source = temp / L"release";
    test::writeTree(source, {{L"data\\plugins\\p.dll", "plugin"}, {L"Quorila.exe", "exe"}});
    const Tree sourceBefore = test::snapshot(source);
    {
        test::FileLock lock(source + L"\\data\\plugins", 0);
        ASSERT_TRUE(lock.held());
        EXPECT_FALSE(copyTree(source, temp / L"install", LinksInSource::madePlain, log));
    }
    EXPECT_EQ(lines(), std::vector<std::wstring>{L"Kaynak klasör taranırken hata oluştu."});
    EXPECT_FALSE(test::exists(temp / L"install\\data\\plugins\\p.dll"));
    EXPECT_EQ(test::snapshot(source), sourceBefore);
}

TEST(CopyFileReplacing, ReplacesCreatesAndReportsErrors)
{
    test::TempFolder temp;
    const std::wstring from = temp / L"from.txt";
    const std::wstring existing = temp / L"existing.txt";
    test::writeFile(from, "new content");
    test::writeFile(existing, "old content that is longer");
    // A read-only target (a kept installer file, a stale backup) is replaced like any other.
    ASSERT_TRUE(SetFileAttributesW(existing.c_str(), FILE_ATTRIBUTE_READONLY));
    std::error_code error = std::make_error_code(std::errc::io_error);

    for (const std::wstring& target : {existing, temp / L"missing.txt"}) {
        copyFileReplacing(from, target, error);
        EXPECT_FALSE(error);
        EXPECT_EQ(test::readFile(target), "new content");
    }
    copyFileReplacing(temp / L"no such file.txt", existing, error);
    EXPECT_TRUE(error);
    EXPECT_EQ(test::readFile(existing), "new content");
    error.clear();
    copyFileReplacing(from, temp / L"no such folder\\x.txt", error);
    EXPECT_TRUE(error);
    EXPECT_FALSE(test::exists(temp / L"no such folder"));
    EXPECT_EQ(test::readFile(from), "new content");
}

} // namespace
} // namespace quorila
