#include "folders/folder_safety.h"

#include <algorithm>
#include <string_view>

#include <gtest/gtest.h>

#include "support/shown.h"

namespace quorila {
namespace {

using test::shown;

bool exactly(std::wstring_view a, std::wstring_view b)
{
    return a == b;
}

// Stands in for the file system's comparison where only ASCII letters matter.
bool asciiIgnoringCase(std::wstring_view a, std::wstring_view b)
{
    auto upper = [](wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](wchar_t x, wchar_t y) { return upper(x) == upper(y); });
}

TEST(PathsEqual, ComparesTextsPieceByPiece)
{
    struct Case {
        const wchar_t* a;
        const wchar_t* b;
        bool equal;
    };
    const Case cases[] = {
        {L"C:\\app", L"C:\\app", true},
        {L"C:\\app\\sub", L"C:/app/sub", true},
        {L"C:\\app\\sub", L"C:\\\\app//\\sub", true},
        {L"C:\\app", L"C:////app", true},
        {L"", L"", true},
        {L"\\", L"/", true},
        {L"rel\\dir", L"rel/dir", true},
        // root names unit for unit
        {L"C:\\app", L"c:\\app", false},
        {L"\\\\server\\share", L"//server\\share", false},
        {L"\\\\server\\share", L"\\\\server/share", true},
        {L"\\\\?\\C:\\app", L"\\\\.\\C:\\app", false},
        {L"\\\\?\\C:\\app", L"C:\\app", false},
        // root directory present in both or neither
        {L"C:app", L"C:\\app", false},
        {L"\\app", L"app", false},
        {L"C:\\", L"C:", false},
        // relative parts
        {L"C:\\app", L"C:\\App", false},
        {L"C:\\app\\", L"C:\\app", false},
        {L"C:\\app", L"C:\\app\\", false},
        {L"C:\\app\\\\", L"C:\\app/", true},
        {L"C:\\app", L"C:\\ap", false},
        {L"C:\\a\\b", L"C:\\ab", false},
        {L"C:\\app\\.", L"C:\\app", false},
        {L"C:\\x\\..\\app", L"C:\\app", false},
        {L"C:\\PROGRA~1", L"C:\\Program Files", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pathsEqual(c.a, c.b), c.equal) << shown(c.a) << " vs " << shown(c.b);
        EXPECT_EQ(pathsEqual(c.b, c.a), c.equal) << shown(c.b) << " vs " << shown(c.a);
    }
}

TEST(SameOrInside, ComparesFullPathsElementByElement)
{
    struct Case {
        const wchar_t* inner;
        const wchar_t* outer;
        bool ignoringCase; // the result with the case-blind comparison
        bool exact;        // the result comparing units exactly
    };
    const Case cases[] = {
        {L"C:\\app", L"C:\\app", true, true},
        {L"C:\\app\\", L"C:\\app", true, true},
        {L"C:/app//", L"C:\\app", true, true},
        {L"C:\\app\\.\\backup", L"C:\\app", true, true},
        {L"C:\\app\\backup", L"C:\\app", true, true},
        {L"C:\\app\\a\\b\\c", L"C:\\app\\a", true, true},
        {L"C:\\APP\\backup", L"c:\\app", true, false},
        {L"C:\\app", L"C:\\app\\backup", false, false},
        {L"C:\\application", L"C:\\app", false, false},
        {L"C:\\app-backup", L"C:\\app", false, false},
        {L"C:\\app", L"D:\\app", false, false},
        {L"C:\\app", L"C:\\", true, true},
        {L"C:\\x\\..\\app", L"C:\\app", true, true},
        {L"C:\\app\\..\\..\\..", L"C:\\", true, true},
        {L"C:\\app\\..\\..\\other", L"C:\\app", false, false},
        // device prefixes name the same drive or share
        {L"\\\\?\\C:\\app\\backup", L"C:\\app", true, true},
        {L"C:\\app\\backup", L"\\\\?\\c:\\app", true, false},
        {L"\\\\.\\C:\\app", L"C:\\app", true, true},
        {L"\\??\\C:\\app", L"\\\\?\\C:\\app\\", true, true},
        {L"\\\\?\\UNC\\server\\share\\app", L"\\\\server\\share", true, true},
        {L"\\\\?\\unc\\server\\share\\app", L"\\\\SERVER\\share\\app", true, false},
        {L"\\\\server\\share\\app", L"\\\\server\\other", false, false},
        {L"\\\\server\\share", L"\\\\other\\share", false, false},
        {L"\\\\server\\share", L"\\\\server", false, false},
        {L"\\\\?\\Volume{1}\\app", L"\\\\?\\Volume{1}", true, true},
        {L"\\\\?\\Volume{1}\\app", L"\\\\?\\Volume{2}\\app", false, false},
        {L"\\\\?\\C:\\app", L"\\\\?\\UNC\\C:\\app", false, false},
        // a drive-relative or rooted text is not confused with a full one
        {L"C:app", L"C:\\app", false, false},
        {L"\\app", L"C:\\app", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(shown(c.inner) + " in " + shown(c.outer));
        EXPECT_EQ(isSameOrInside(c.inner, c.outer, asciiIgnoringCase), c.ignoringCase);
        EXPECT_EQ(isSameOrInside(c.inner, c.outer, exactly), c.exact);
    }
}

TEST(SameOrInside, UsesTheGivenComparisonForEveryElement)
{
    // A comparison that calls only "x" and "X" equal: every element and the drive go through it.
    auto onlyX = [](std::wstring_view a, std::wstring_view b) {
        return a == b || ((a == L"x" || a == L"X") && (b == L"x" || b == L"X"));
    };
    EXPECT_TRUE(isSameOrInside(L"C:\\x\\X\\y", L"C:\\X\\x", onlyX));
    EXPECT_FALSE(isSameOrInside(L"C:\\y\\x", L"C:\\Y", onlyX));
    EXPECT_FALSE(isSameOrInside(L"c:\\x", L"C:\\x", onlyX));
}

TEST(VolumeRoot, FindsFullPathsWithNothingBelowTheirVolume)
{
    for (const wchar_t* root :
         {L"C:\\", L"C:/", L"C:\\\\", L"C:\\.", L"C:\\..", L"\\\\?\\C:\\", L"\\\\?\\C:", L"\\\\.\\C:\\", L"\\??\\C:\\",
          L"\\\\?\\C:\\app\\..", L"\\\\server", L"\\\\server\\", L"\\\\server\\share", L"\\\\server\\share\\",
          L"\\\\?\\UNC\\server\\share", L"\\\\?\\UNC\\server", L"\\\\?\\Volume{1}\\", L"\\\\?\\", L""}) {
        EXPECT_TRUE(isVolumeRoot(root)) << shown(root);
    }
    for (const wchar_t* below : {L"C:\\app", L"C:\\app\\", L"C:\\app\\x\\..", L"\\\\?\\C:\\app", L"\\\\server\\share\\app",
                                 L"\\\\?\\UNC\\server\\share\\app", L"\\\\?\\Volume{1}\\app"}) {
        EXPECT_FALSE(isVolumeRoot(below)) << shown(below);
    }
}

} // namespace
} // namespace quorila
