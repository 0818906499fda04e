#include "folders/path_grammar.h"

#include <string>

#include <gtest/gtest.h>

#include "support/shown.h"

namespace quorila {
namespace {

using test::shown;

struct Pieces {
    const wchar_t* path;
    const wchar_t* rootName;
    const wchar_t* rootDirectory;
    const wchar_t* relativePart;
    const wchar_t* parentPath;
    const wchar_t* fileName;
    bool absolute;
};

TEST(PathGrammar, TakesPathsApart)
{
    const Pieces cases[] = {
        // path               root name    root dir  relative     parent        file name  absolute
        {L"", L"", L"", L"", L"", L"", false},
        {L"name", L"", L"", L"name", L"", L"name", false},
        {L".", L"", L"", L".", L"", L".", false},
        {L"..", L"", L"", L"..", L"", L"..", false},
        {L"a\\b", L"", L"", L"a\\b", L"a", L"b", false},
        {L"a/b/", L"", L"", L"a/b/", L"a/b", L"", false},
        {L"a\\\\b\\\\", L"", L"", L"a\\\\b\\\\", L"a\\\\b", L"", false},
        {L"a//b", L"", L"", L"a//b", L"a", L"b", false},
        {L"\\", L"", L"\\", L"", L"\\", L"", false},
        {L"\\a", L"", L"\\", L"a", L"\\", L"a", false},
        {L"///a", L"", L"///", L"a", L"///", L"a", false},
        // only '\\' and '/' separate: not a division slash, not a full-width backslash
        {L"a\u2215b\uff3cc", L"", L"", L"a\u2215b\uff3cc", L"", L"a\u2215b\uff3cc", false},
        // drives
        {L"C:", L"C:", L"", L"", L"C:", L"", false},
        {L"c:", L"c:", L"", L"", L"c:", L"", false},
        {L"C:name", L"C:", L"", L"name", L"C:", L"name", false},
        {L"C:\\", L"C:", L"\\", L"", L"C:\\", L"", true},
        {L"C:/", L"C:", L"/", L"", L"C:/", L"", true},
        {L"C:\\/\\", L"C:", L"\\/\\", L"", L"C:\\/\\", L"", true},
        {L"C:\\a", L"C:", L"\\", L"a", L"C:\\", L"a", true},
        {L"C:\\a\\b\\", L"C:", L"\\", L"a\\b\\", L"C:\\a\\b", L"", true},
        {L"C:\\a\\..", L"C:", L"\\", L"a\\..", L"C:\\a", L"..", true},
        {L"1:\\a", L"", L"", L"1:\\a", L"1:", L"a", false},
        {L"?:", L"", L"", L"?:", L"", L"?:", false},
        {L"\u00c7:\\", L"", L"", L"\u00c7:\\", L"\u00c7:", L"", false},
        // device prefixes
        {L"\\\\?\\C:\\a", L"\\\\?", L"\\", L"C:\\a", L"\\\\?\\C:", L"a", true},
        {L"\\\\.\\pipe", L"\\\\.", L"\\", L"pipe", L"\\\\.\\", L"pipe", true},
        {L"\\??\\C:\\", L"\\??", L"\\", L"C:\\", L"\\??\\C:", L"", true},
        {L"//?/C:", L"//?", L"/", L"C:", L"//?/", L"C:", true},
        {L"\\\\?\\", L"\\\\?", L"\\", L"", L"\\\\?\\", L"", true},
        // a second separator after the prefix: "\\?" read as a server, "\??" as nothing
        {L"\\\\?\\\\a", L"\\\\?", L"\\\\", L"a", L"\\\\?\\\\", L"a", true},
        {L"\\??\\\\a", L"", L"\\", L"??\\\\a", L"\\??", L"a", false},
        {L"\\\\?", L"\\\\?", L"", L"", L"\\\\?", L"", true},
        {L"\\??", L"", L"\\", L"??", L"\\", L"??", false},
        // servers
        {L"\\\\server", L"\\\\server", L"", L"", L"\\\\server", L"", true},
        {L"\\\\server\\share", L"\\\\server", L"\\", L"share", L"\\\\server\\", L"share", true},
        {L"//server/share/", L"//server", L"/", L"share/", L"//server/share", L"", true},
        {L"\\/server\\share\\a", L"\\/server", L"\\", L"share\\a", L"\\/server\\share", L"a", true},
        {L"\\\\\\server", L"", L"\\\\\\", L"server", L"\\\\\\", L"server", false},
        {L"\\\\", L"", L"\\\\", L"", L"\\\\", L"", false},
        {L"\\\\C:\\a", L"\\\\C:", L"\\", L"a", L"\\\\C:\\", L"a", true},
    };
    for (const Pieces& c : cases) {
        SCOPED_TRACE(shown(c.path));
        EXPECT_EQ(rootName(c.path), c.rootName);
        EXPECT_EQ(rootDirectory(c.path), c.rootDirectory);
        EXPECT_EQ(rootPath(c.path), std::wstring(c.rootName) + c.rootDirectory);
        EXPECT_EQ(relativePart(c.path), c.relativePart);
        EXPECT_EQ(parentPath(c.path), c.parentPath);
        EXPECT_EQ(fileName(c.path), c.fileName);
        EXPECT_EQ(isAbsolute(c.path), c.absolute);
    }
}

TEST(PathGrammar, PiecesPointIntoTheArgument)
{
    const std::wstring path = L"C:\\folder\\file";
    const std::wstring_view view = path;
    EXPECT_EQ(rootName(view).data(), path.data());
    EXPECT_EQ(relativePart(view).data(), path.data() + 3);
    EXPECT_EQ(fileName(view).data(), path.data() + 10);
}

TEST(PathGrammar, Joins)
{
    struct Join {
        const wchar_t* folder;
        const wchar_t* name;
        const wchar_t* joined;
    };
    const Join cases[] = {
        // a relative name below a folder
        {L"C:\\app", L"Quorila.exe", L"C:\\app\\Quorila.exe"},
        {L"C:\\app\\", L"Quorila.exe", L"C:\\app\\Quorila.exe"},
        {L"C:\\app/", L"Quorila.exe", L"C:\\app/Quorila.exe"},
        {L"C:", L"name", L"C:name"},
        {L"C:\\", L"name", L"C:\\name"},
        {L"", L"name", L"name"},
        {L"a", L"b\\c", L"a\\b\\c"},
        {L"\\\\server", L"share", L"\\\\server\\share"},
        {L"\\\\server\\", L"share", L"\\\\server\\share"},
        {L"\\\\?\\C:", L"a", L"\\\\?\\C:\\a"},
        {L"1:", L"a", L"1:\\a"},
        {L"a", L"1:b", L"a\\1:b"},
        // an absolute name replaces the folder
        {L"C:\\app", L"D:\\other", L"D:\\other"},
        {L"C:\\app", L"C:\\other", L"C:\\other"},
        {L"", L"D:\\other", L"D:\\other"},
        {L"C:\\app", L"\\\\server\\share", L"\\\\server\\share"},
        {L"C:\\app", L"\\\\?\\C:\\x", L"\\\\?\\C:\\x"},
        // a name with another drive replaces the folder, drive-relative or not
        {L"C:\\app", L"D:name", L"D:name"},
        {L"C:\\app", L"c:name", L"c:name"},
        {L"C:\\app", L"D:", L"D:"},
        // the same drive: appended
        {L"C:\\app", L"C:name", L"C:\\app\\name"},
        {L"C:", L"C:name", L"C:name"},
        {L"C:\\app\\", L"C:", L"C:\\app\\"},
        // a name with a root directory keeps only the folder's root name
        {L"C:\\app", L"\\other", L"C:\\other"},
        {L"C:app", L"/other", L"C:/other"},
        {L"app\\sub", L"\\other", L"\\other"},
        {L"\\\\server\\share\\a", L"\\b", L"\\\\server\\b"},
        // an empty name
        {L"C:\\app", L"", L"C:\\app\\"},
        {L"C:\\app\\", L"", L"C:\\app\\"},
        {L"C:", L"", L"C:"},
        {L"C:\\", L"", L"C:\\"},
        {L"\\\\server", L"", L"\\\\server\\"},
        {L"", L"", L""},
        {L"a", L"", L"a\\"},
    };
    for (const Join& c : cases) {
        EXPECT_EQ(joinPath(c.folder, c.name), c.joined) << shown(c.folder) << " / " << shown(c.name);
    }
}

// The forms every reader of a path takes alike pass; the others would let a check look at another
// object than the file operations reach.
TEST(PathGrammar, AcceptsOnlyFormsEveryReaderTakesAlike)
{
    const wchar_t* const accepted[] = {
        L"C:\\Program Files\\Quorila", L"c:/x/y/", L"C:\\", L"C:\\x\\..\\y", L"C:\\x\\.\\y.", L"\\\\server\\share",
        L"\\\\server\\share\\x", L"//server/share/x", L"\\\\?\\C:\\x\\y", L"\\\\?\\C:\\x\\", L"\\\\?\\C:\\",
        L"\\\\?\\UNC\\server\\share\\x", L"\\\\?\\unc\\s\\s", L"release", L"..\\backup", L"\\x", L"a\\b c\\d.e",
        L"C:\\CONSOLE\\NULL\\COM10\\LPT", L"C:\\güncelleme\\şema",
    };
    const wchar_t* const refused[] = {
        L"", L"\\??\\C:\\x", L"\\??\\UNC\\s\\s", L"\\\\.\\C:\\x", L"\\\\.\\pipe\\x", L"//?/C:/x", L"\\\\?\\GLOBALROOT\\x",
        L"\\\\?\\Volume{0}\\x", L"\\\\?\\C:", L"\\\\?\\C:x", L"\\\\?\\C:/x", L"\\\\?\\C:\\x/y", L"\\\\?\\C:\\x\\..",
        L"\\\\?\\C:\\.\\x", L"\\\\?\\C:\\x.", L"\\\\?\\C:\\x \\y", L"\\\\?\\C:\\x\\\\y", L"\\\\?\\UNC\\s",
        L"\\\\?\\UNC\\s\\", L"\\\\?\\UNC\\s\\\\share", L"C:x", L"C:", L"C:\\x:stream", L"x::$DATA", L"C:\\x\\NUL",
        L"C:\\x\\nul.txt", L"C:\\CON \\x", L"COM1", L"C:\\lpt\u00B9", L"C:\\CONOUT$", L"C:\\x\\a*b", L"C:\\x?",
        L"C:\\x|y", L"C:\\x\"", L"C:\\x<y>", L"C:\\x\ty", L"\\\\server", L"\\\\server\\", L"\\\\server\\\\share",
        L"\\\\.", L"\\\\?",
    };
    for (const wchar_t* path : accepted) {
        EXPECT_TRUE(isAcceptedPathForm(path)) << shown(path);
    }
    for (const wchar_t* path : refused) {
        EXPECT_FALSE(isAcceptedPathForm(path)) << shown(path);
    }
}

} // namespace
} // namespace quorila
