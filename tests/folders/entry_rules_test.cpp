#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "folders/install_clearing.h"
#include "folders/path_grammar.h"
#include "folders/tree_copy.h"

namespace quorila {
namespace {

std::string narrow(std::wstring_view text)
{
    std::string out;
    for (wchar_t c : text) {
        out.push_back(c > 0 && c < 0x80 ? static_cast<char>(c) : '?');
    }
    return out;
}

TEST(InstallerMaintenanceFile, NameRule)
{
    struct Case {
        const wchar_t* path;
        bool kept;
    };
    const Case cases[] = {
        {L"C:\\Quorila\\unins000.exe", true},
        {L"C:\\Quorila\\unins000.dat", true},
        {L"unins000.exe", true},
        {L"C:\\Quorila\\Unins000.exe", true},
        {L"C:\\Quorila\\UNINS000.DAT", true},
        {L"C:/Quorila/UnInS001.msg", true},
        {L"C:\\Quorila\\unins-data", true},
        {L"C:\\Quorila\\unins", true},
        {L"C:unins000.exe", true},
        {L"C:\\Quorila\\unins\u0130.exe", true},     // only the first five letters count
        {L"C:\\Quorila\\unin.exe", false},
        {L"C:\\Quorila\\unin", false},
        {L"C:\\Quorila\\xunins.exe", false},
        {L"C:\\Quorila\\ unins000.exe", false},
        {L"C:\\Quorila\\app-unins000.exe", false},
        {L"C:\\unins000\\app.exe", false},           // the folders above play no part
        {L"C:\\Quorila\\unins000.exe\\", false},      // no file name after a trailing separator
        {L"C:\\Quorila\\unins-data/", false},
        {L"C:\\", false},
        {L"C:", false},
        {L"", false},
        // Only A to Z are lowered: a Turkish dotted capital I or dotless i never makes "unins".
        {L"C:\\Quorila\\UN\u0130NS000.EXE", false},  // UNİNS000.EXE
        {L"C:\\Quorila\\un\u0131ns000.exe", false},  // unıns000.exe
        {L"C:\\Quorila\\\u0130nstall.exe", false},   // İnstall.exe
        {L"C:\\Quorila\\\uFF35NINS000.EXE", false},  // full-width U
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isInstallerMaintenanceFile(c.path), c.kept) << narrow(c.path);
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
        EXPECT_EQ(relative, c.relative) << narrow(c.source) << " / " << narrow(c.entry);
        if (relative) {
            // Whatever is accepted lands below the destination it is joined to.
            const std::wstring destination = L"D:\\dest";
            const std::wstring target = joinPath(destination, *relative);
            EXPECT_EQ(target.substr(0, destination.size() + 1), destination + L"\\") << narrow(target);
        }
    }
}

} // namespace
} // namespace quorila
