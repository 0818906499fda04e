// The tree copy on real folders under Wine: what lands in the destination, what stays, and the one
// line of each failure.

#include "folders/tree_copy.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <gtest/gtest.h>

#include "folders/file_ops.h"
#include "folders/folder_links.h"
#include "folders/path_grammar.h"
#include "log/update_log.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

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

// `under` with `over` written on top of it, as a copy that adds and overwrites leaves it.
Tree overlay(Tree under, const Tree& over)
{
    for (const auto& [relative, content] : over) {
        under[relative] = content;
    }
    return under;
}

// One entry of a listing in the order the listing yields it.
struct Listed {
    std::wstring path;     // as the listing gives it
    std::wstring relative; // '\' separated, below the listed folder
    bool folder = false;
};

// The source listing in the order the copy meets the entries in.
std::vector<Listed> listingOrder(const std::wstring& root)
{
    std::vector<Listed> order;
    std::error_code error;
    const fs::path base(root);
    for (FolderListing listing(root, FolderListing::Depth::recursive, error); !error && !listing.atEnd();
         listing.increment(error)) {
        const bool folder = listing.isFolder(error);
        order.push_back({listing.path(), fs::path(listing.path()).lexically_relative(base).make_preferred().wstring(),
                         folder});
    }
    EXPECT_FALSE(error);
    return order;
}

const Tree releaseTree = {
    {L"Quorila.exe", "new exe"},
    {L"data", "<dir>"},
    {L"data\\config.ini", "new config"},
    {L"data\\empty", "<dir>"},
    {L"data\\deep", "<dir>"},
    {L"data\\deep\\deeper", "<dir>"},
    {L"data\\deep\\deeper\\note.txt", "note"},
    {L"boş klasör", "<dir>"},
    {L"Ağaç Klasörü", "<dir>"},
    {L"Ağaç Klasörü\\Şeker ıİğĞüÜöÖçÇ.txt", "türkçe içerik"},
    {L"with blank.txt", "blank"},
    {L"unins000.dat", "installer data from the release"},
};

// Source and destination spelled as a caller may spell them: the listing's paths must still map
// onto the destination entry by entry.
TEST_F(TreeCopyTest, CopiesEveryFolderAndFileOverAnExistingDestination)
{
    struct Spelling {
        const char* name;
        std::wstring sourceSuffix;
        std::wstring destinationSuffix;
        bool forwardSlashes;
    };
    const Spelling spellings[] = {
        {"plain", L"", L"", false},
        {"trailing separators", L"\\", L"\\\\", false},
        {"forward slashes", L"/", L"", true},
    };
    const Tree existing = {
        {L"Quorila.exe", "old exe"},
        {L"data", "<dir>"},
        {L"data\\config.ini", "old config"},
        {L"data\\local.db", "user data"},
        {L"unins000.dat", "installer data"},
        {L"kept folder", "<dir>"},
        {L"kept folder\\x.txt", "x"},
    };
    int index = 0;
    for (const Spelling& spelling : spellings) {
        SCOPED_TRACE(spelling.name);
        const std::wstring source = temp / (L"release" + std::to_wstring(index));
        const std::wstring destination = temp / (L"install Klasör " + std::to_wstring(index));
        ++index;
        test::writeTree(source, releaseTree);
        test::writeTree(destination, existing);
        const Tree sourceBefore = test::snapshot(source);
        const Tree expected = overlay(test::snapshot(destination), sourceBefore);

        std::wstring sourceArgument = source + spelling.sourceSuffix;
        std::wstring destinationArgument = destination + spelling.destinationSuffix;
        if (spelling.forwardSlashes) {
            std::replace(sourceArgument.begin(), sourceArgument.end(), L'\\', L'/');
            std::replace(destinationArgument.begin(), destinationArgument.end(), L'\\', L'/');
        }
        EXPECT_TRUE(copyTree(sourceArgument, destinationArgument, log));

        EXPECT_EQ(test::snapshot(destination), expected);
        EXPECT_EQ(test::snapshot(source), sourceBefore);
        EXPECT_TRUE(test::isFolder(joinPath(destination, L"data\\empty")));
        EXPECT_TRUE(test::isFolder(joinPath(destination, L"boş klasör")));
    }
    EXPECT_TRUE(lines().empty());
}

TEST_F(TreeCopyTest, EmptySourceMakesOnlyTheDestinationRoot)
{
    const std::wstring source = temp / L"empty";
    test::makeFolder(source);
    const std::wstring destination = temp / L"new\\levels\\destination";

    EXPECT_TRUE(copyTree(source, destination, log));

    EXPECT_TRUE(test::isFolder(destination));
    EXPECT_TRUE(test::snapshot(destination).empty());
    EXPECT_TRUE(test::snapshot(source).empty());
    EXPECT_TRUE(lines().empty());
}

TEST_F(TreeCopyTest, AbsentSourceCreatesNothing)
{
    const std::wstring source = temp / L"missing";
    const std::wstring destination = temp / L"destination";

    EXPECT_FALSE(copyTree(source, destination, log));

    EXPECT_EQ(lines(), std::vector<std::wstring>{L"Kaynak klasör bulunamadı: " + source});
    EXPECT_FALSE(test::exists(destination));
    EXPECT_FALSE(test::exists(source));
}

TEST_F(TreeCopyTest, SourceThatIsAFileCannotBeListed)
{
    const std::wstring source = temp / L"release.zip";
    test::writeFile(source, "not a folder");
    const std::wstring destination = temp / L"destination";

    EXPECT_FALSE(copyTree(source, destination, log));

    EXPECT_EQ(lines(), std::vector<std::wstring>{L"Kaynak klasör okunamadı: " + source});
    EXPECT_TRUE(test::isFolder(destination));
    EXPECT_TRUE(test::snapshot(destination).empty());
    EXPECT_EQ(test::readFile(source), "not a folder");
}

// A file stands where the copy needs a folder: the destination root itself, or a sub-folder.
TEST_F(TreeCopyTest, FileInPlaceOfANeededFolderStopsTheCopy)
{
    struct Case {
        const char* name;
        std::wstring blockingFile; // relative to the destination root; empty: the root itself
    };
    const Case cases[] = {{"destination root", L""}, {"sub-folder", L"data"}};
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring source = temp / (L"release" + std::to_wstring(index));
        const std::wstring destination = temp / (L"install" + std::to_wstring(index));
        ++index;
        test::writeTree(source, {{L"data\\config.ini", "new config"}});
        const std::wstring blocking = c.blockingFile.empty() ? destination : joinPath(destination, c.blockingFile);
        test::writeFile(blocking, "stands in the way");
        const Tree sourceBefore = test::snapshot(source);
        const auto before = lines().size();

        EXPECT_FALSE(copyTree(source, destination, log));

        const std::vector<std::wstring> all = lines();
        ASSERT_EQ(all.size(), before + 1);
        EXPECT_EQ(all.back(), L"Klasör oluşturulamadı: " + blocking);
        EXPECT_EQ(test::readFile(blocking), "stands in the way");
        EXPECT_EQ(test::snapshot(source), sourceBefore);
    }
}

TEST_F(TreeCopyTest, FolderInPlaceOfAFileStopsTheCopy)
{
    const std::wstring source = temp / L"release";
    const std::wstring destination = temp / L"install";
    test::writeTree(source, {{L"Quorila.exe", "new exe"}});
    test::writeTree(destination, {{L"Quorila.exe\\inside.txt", "inside"}});
    const Tree sourceBefore = test::snapshot(source);
    const Tree destinationBefore = test::snapshot(destination);

    EXPECT_FALSE(copyTree(source, destination, log));

    EXPECT_EQ(lines(), std::vector<std::wstring>{L"Dosya kopyalanamadı: " + joinPath(source, L"Quorila.exe")});
    EXPECT_EQ(test::snapshot(destination), destinationBefore);
    EXPECT_EQ(test::snapshot(source), sourceBefore);
}

// A source file that cannot be read ends the copy there: everything the listing yielded before it
// is in the destination, nothing after it is touched.
TEST_F(TreeCopyTest, LockedSourceFileStopsTheCopyInTheMiddle)
{
    const std::wstring source = temp / L"release";
    const std::wstring destination = temp / L"install";
    test::writeTree(source, {
                                {L"a.txt", "a"},
                                {L"b\\c.txt", "c"},
                                {L"b\\d.txt", "d"},
                                {L"b\\e\\f.txt", "f"},
                                {L"g.txt", "g"},
                                {L"h\\i.txt", "i"},
                                {L"j.txt", "j"},
                                {L"k\\l\\m.txt", "m"},
                            });
    const Tree sourceBefore = test::snapshot(source);
    const std::vector<Listed> order = listingOrder(source);
    ASSERT_EQ(order.size(), sourceBefore.size());
    // The regular file nearest the middle of the listing with entries still to come after it.
    std::size_t locked = order.size() / 2;
    while (locked + 1 < order.size() && order[locked].folder) {
        ++locked;
    }
    ASSERT_LT(locked + 1, order.size());
    ASSERT_FALSE(order[locked].folder);

    {
        test::FileLock lock(order[locked].path, 0);
        ASSERT_TRUE(lock.held());
        EXPECT_FALSE(copyTree(source, destination, log));
    }

    EXPECT_EQ(lines(), std::vector<std::wstring>{L"Dosya kopyalanamadı: " + order[locked].path});
    for (std::size_t i = 0; i < order.size(); ++i) {
        const std::wstring target = joinPath(destination, order[i].relative);
        if (i < locked) {
            EXPECT_EQ(test::isFolder(target), order[i].folder) << i;
            if (!order[i].folder) {
                EXPECT_EQ(test::readFile(target), sourceBefore.at(order[i].relative)) << i;
            }
        } else {
            EXPECT_FALSE(test::exists(target)) << i;
        }
    }
    EXPECT_EQ(test::snapshot(source), sourceBefore);
}

// Paths past 260 characters, below the source and for the source itself (where MinGW's own
// listing reads the current folder instead).
TEST_F(TreeCopyTest, CopiesTreesDeeperThanTheOldPathLimit)
{
    Tree tree;
    std::wstring deep;
    for (int level = 0; level < 8; ++level) {
        deep = joinPath(deep, std::wstring(40, static_cast<wchar_t>(L'a' + level)));
        tree[deep] = "<dir>";
        tree[joinPath(deep, L"file.txt")] = "level " + std::to_string(level);
    }
    const std::wstring longRoot = temp / (L"long\\" + std::wstring(120, L'r') + L"\\" + std::wstring(120, L's'));
    ASSERT_GT(longRoot.size(), 260u);
    struct Case {
        const char* name;
        std::wstring source;
        std::wstring destination;
    };
    const Case cases[] = {
        {"deep tree", temp / L"release", temp / L"install"},
        {"long source and destination", joinPath(longRoot, L"release"), joinPath(longRoot, L"install")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeTree(c.source, tree);
        ASSERT_GT(joinPath(c.destination, joinPath(deep, L"file.txt")).size(), 300u);

        EXPECT_TRUE(copyTree(c.source, c.destination, log));

        // (snapshot() lists with MinGW's iterator: each entry is checked on its own.)
        for (const auto& [relative, content] : tree) {
            const std::wstring target = joinPath(c.destination, relative);
            if (content == "<dir>") {
                EXPECT_TRUE(test::isFolder(target)) << relative.size();
            } else {
                EXPECT_EQ(test::readFile(target), content) << relative.size();
                EXPECT_EQ(test::readFile(joinPath(c.source, relative)), content) << relative.size();
            }
        }
    }
    EXPECT_TRUE(lines().empty());
}

// Links in the source: a linked folder is made as a plain, empty folder at its own place (its
// contents lie elsewhere and are not copied), a linked file is copied with its target's content,
// and the folder the link reaches keeps every file.
TEST_F(TreeCopyTest, LinksLandAtTheirOwnPlaceAndTheLinkedFolderIsNotEntered)
{
    const std::wstring source = temp / L"release";
    const std::wstring destination = temp / L"install";
    const std::wstring outside = temp / L"outside";
    test::writeTree(source, {{L"inside.txt", "inside"}, {L"sub\\x.txt", "x"}});
    test::writeTree(outside, {{L"a.txt", "outside a"}, {L"nested\\b.txt", "outside b"}});
    const Tree outsideBefore = test::snapshot(outside);
    const std::wstring folderLink = joinPath(source, L"linked");
    const std::wstring fileLink = joinPath(source, L"sub\\linked.txt");
    if (!test::makeLink(outside, folderLink)) {
        ASSERT_FALSE(test::underWine()) << "ln -s under Wine made no link";
        GTEST_SKIP() << "this account may not make symbolic links";
    }
    ASSERT_TRUE(test::makeLink(joinPath(outside, L"a.txt"), fileLink));

    EXPECT_TRUE(copyTree(source, destination, log));

    const Tree expected = {
        {L"inside.txt", "inside"},
        {L"linked", "<dir>"},
        {L"sub", "<dir>"},
        {L"sub\\x.txt", "x"},
        {L"sub\\linked.txt", "outside a"},
    };
    EXPECT_EQ(test::snapshot(destination), expected);
    EXPECT_FALSE(isReparsePoint(joinPath(destination, L"linked")));
    EXPECT_EQ(test::snapshot(outside), outsideBefore);
    EXPECT_TRUE(lines().empty());
    // Nothing appeared beside the three folders and the log.
    std::vector<std::wstring> top;
    std::error_code error;
    for (fs::directory_iterator it(fs::path(temp.path()), error), end; !error && it != end; it.increment(error)) {
        top.push_back(it->path().filename().wstring());
    }
    std::sort(top.begin(), top.end());
    EXPECT_EQ(top, (std::vector<std::wstring>{L"install", L"outside", L"release", L"update.log"}));

    EXPECT_TRUE(test::removeLink(fileLink));
    EXPECT_TRUE(test::removeLink(folderLink));
    EXPECT_EQ(test::snapshot(outside), outsideBefore);
}

TEST(CopyFileReplacing, ReplacesCreatesAndReportsErrors)
{
    test::TempFolder temp;
    const std::wstring from = temp / L"from.txt";
    test::writeFile(from, "new content");

    std::error_code error = std::make_error_code(std::errc::io_error);
    const std::wstring existing = temp / L"existing.txt";
    test::writeFile(existing, "old content that is longer");
    copyFileReplacing(from, existing, error);
    EXPECT_FALSE(error);
    EXPECT_EQ(test::readFile(existing), "new content");

    const std::wstring missing = temp / L"missing.txt";
    copyFileReplacing(from, missing, error);
    EXPECT_FALSE(error);
    EXPECT_EQ(test::readFile(missing), "new content");

    copyFileReplacing(temp / L"no such file.txt", existing, error);
    EXPECT_TRUE(error);
    EXPECT_EQ(test::readFile(existing), "new content");

    const std::wstring intoMissingFolder = temp / L"no such folder\\x.txt";
    copyFileReplacing(from, intoMissingFolder, error);
    EXPECT_TRUE(error);
    EXPECT_FALSE(test::exists(temp / L"no such folder"));
    EXPECT_EQ(test::readFile(from), "new content");
}

} // namespace
} // namespace quorila
