#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "folders/entry_rules.h"
#include "folders/path_grammar.h"
#include "support/shown.h"

namespace quorila {
namespace {

using test::shown;

TEST(InstallerMaintenanceFile, NameRule)
{
    for (const wchar_t* kept : {L"C:\\Quorila\\unins000.exe", L"C:\\Quorila\\unins000.dat", L"unins000.exe",
                                L"C:\\Quorila\\Unins000.exe", L"C:\\Quorila\\UNINS000.DAT", L"C:/Quorila/UnInS001.msg",
                                L"C:\\Quorila\\unins-data", L"C:\\Quorila\\unins", L"C:unins000.exe",
                                L"C:\\Quorila\\unins\u0130.exe"}) { // only the first five letters count
        EXPECT_TRUE(isInstallerMaintenanceFile(kept)) << shown(kept);
    }
    for (const wchar_t* removed : {
             L"C:\\Quorila\\unin.exe", L"C:\\Quorila\\unin", L"C:\\Quorila\\xunins.exe", L"C:\\Quorila\\ unins000.exe",
             L"C:\\Quorila\\app-unins000.exe",
             L"C:\\unins000\\app.exe",      // the folders above play no part
             L"C:\\Quorila\\unins000.exe\\", // no file name after a trailing separator
             L"C:\\Quorila\\unins-data/", L"C:\\", L"C:", L"",
             // Only A to Z are lowered: a Turkish dotted capital I or dotless i never makes "unins".
             L"C:\\Quorila\\UN\u0130NS000.EXE", // UNİNS000.EXE
             L"C:\\Quorila\\un\u0131ns000.exe", // unıns000.exe
             L"C:\\Quorila\\\u0130nstall.exe",  // İnstall.exe
             L"C:\\Quorila\\\uFF35NINS000.EXE", // full-width U
         }) {
        EXPECT_FALSE(isInstallerMaintenanceFile(removed)) << shown(removed);
    }
}

TEST(RelativeBelow, ReadsTheSubPathOfAListedEntry)
{
    struct Case {
        const wchar_t* source;
        const wchar_t* entry;
        std::optional<std::wstring> relative;
    };
    const std::optional<std::wstring> none;
    const Case cases[] = {
        {L"C:\\src", L"C:\\src\\a", L"a"},
        {L"C:\\src", L"C:\\src\\a\\b.txt", L"a\\b.txt"},
        {L"C:\\src", L"C:\\src/a", L"a"},
        {L"C:\\src", L"C:\\src\\\\a", L"a"},
        {L"C:\\src\\", L"C:\\src\\a", L"a"},
        {L"C:\\src\\\\", L"C:\\src\\\\a\\b", L"a\\b"},
        {L"C:/src", L"C:/src\\a", L"a"},
        {L"C:/src/", L"C:/src/a/b", L"a/b"},
        {L"C:\\src", L"C:\\src\\..a", L"..a"},
        {L"C:\\src", L"C:\\src\\a..\\.b", L"a..\\.b"},
        {L"C:\\", L"C:\\a", L"a"},
        {L"C:", L"C:a", L"a"},
        {L"\\\\server\\share", L"\\\\server\\share\\a", L"a"},
        {L"src", L"src\\a", L"a"},
        {L"C:\\Kaynak Klasör", L"C:\\Kaynak Klasör\\Ğüşİ ö\\ç ı.txt", L"Ğüşİ ö\\ç ı.txt"},
        // Not below the source.
        {L"C:\\src", L"C:\\src", none},
        {L"C:\\src", L"C:\\src\\", none},
        {L"C:\\src", L"C:\\src2\\a", none},
        {L"C:\\src", L"C:\\sr\\a", none},
        {L"C:\\src", L"C:\\other\\a", none},
        {L"C:\\src", L"c:\\src\\a", none}, // the listing repeats the source unit for unit
        {L"C:\\src", L"D:\\src\\a", none},
        {L"", L"a", none},
        // Sub-paths that would leave the source, or name it again.
        {L"C:\\src", L"C:\\src\\..", none},
        {L"C:\\src", L"C:\\src\\..\\outside", none},
        {L"C:\\src", L"C:\\src\\a\\..\\..\\outside", none},
        {L"C:\\src", L"C:\\src\\a/../b", none},
        {L"C:\\src", L"C:\\src\\.", none},
        {L"C:\\src", L"C:\\src\\.\\a", none},
        {L"C:\\src", L"C:\\src\\a\\.", none},
        {L"C:\\src\\", L"C:\\src\\..\\x", none},
        {L"C:\\src", L"C:\\src\\D:x", none},
    };
    for (const Case& c : cases) {
        const auto relative = relativeBelow(c.source, c.entry);
        EXPECT_EQ(relative, c.relative) << shown(c.source) << " / " << shown(c.entry);
        if (relative) {
            // Whatever is accepted lands below the destination it is joined to.
            const std::wstring destination = L"D:\\dest";
            const std::wstring target = joinPath(destination, *relative);
            EXPECT_EQ(target.substr(0, destination.size() + 1), destination + L"\\") << shown(target);
        }
    }
}

} // namespace
} // namespace quorila
