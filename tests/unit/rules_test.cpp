// The rules on text alone: the path grammar, the forms accepted, comparison, names below a folder,
// reading the command line (options, process id), quoting for the relaunch, the log line.

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cwchar>
#include <map>
#include <random>

#include "base/options.h"
#include "driver/release_package.h"
#include "folders/entry_rules.h"
#include "folders/path_compare.h"
#include "folders/path_grammar.h"
#include "log/log_format.h"
#include "process/relaunch.h"
#include "process/write_access.h"

namespace quorila {
namespace {

std::string shown(std::wstring_view text)
{
    return testing::PrintToString(std::wstring(text));
}

TEST(PathGrammar, TakesWindowsFormsApart)
{
    struct Pieces {
        const wchar_t *path, *rootName, *rootDirectory, *parent, *fileName;
        bool absolute;
    };
    const Pieces cases[] = {
        {L"a\\\\b\\\\", L"", L"", L"a\\\\b", L"", false},
        {L"a//b", L"", L"", L"a", L"b", false},
        {L"C:", L"C:", L"", L"C:", L"", false},
        {L"C:name", L"C:", L"", L"C:", L"name", false},
        {L"C:\\/\\", L"C:", L"\\/\\", L"C:\\/\\", L"", true},
        {L"C:\\a\\b\\", L"C:", L"\\", L"C:\\a\\b", L"", true},
        {L"1:\\a", L"", L"", L"1:", L"a", false},
        {L"\\\\?\\C:\\a", L"\\\\?", L"\\", L"\\\\?\\C:", L"a", true},
        {L"\\??\\C:\\", L"\\??", L"\\", L"\\??\\C:", L"", true},
        {L"\\??", L"", L"\\", L"\\", L"??", false},
        {L"\\\\server", L"\\\\server", L"", L"\\\\server", L"", true},
        {L"//server/share/", L"//server", L"/", L"//server/share", L"", true},
        {L"\\\\\\server", L"", L"\\\\\\", L"\\\\\\", L"server", false},
    };
    for (const Pieces& c : cases) {
        SCOPED_TRACE(shown(c.path));
        EXPECT_EQ(rootName(c.path), c.rootName);
        EXPECT_EQ(rootDirectory(c.path), c.rootDirectory);
        EXPECT_EQ(parentPath(c.path), c.parent);
        EXPECT_EQ(fileName(c.path), c.fileName);
        EXPECT_EQ(isAbsolute(c.path), c.absolute);
    }
    // Over generated texts: the pieces rebuild the path and never overlap.
    const std::wstring parts[] = {L"C:", L"c:", L"\\", L"/", L"\\\\", L"\\\\?\\", L"\\??\\", L"a", L"bc", L".", L"..", L"?"};
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::wstring path;
        for (int n = static_cast<int>(random() % 6); n >= 0; --n) {
            path += parts[random() % std::size(parts)];
        }
        SCOPED_TRACE(shown(path));
        EXPECT_EQ(std::wstring(rootPath(path)) + std::wstring(relativePart(path)), path);
        EXPECT_TRUE(path.starts_with(parentPath(path)) && path.ends_with(fileName(path)));
        EXPECT_LE(rootPath(path).size() + fileName(path).size(), path.size());
    }
}

TEST(PathGrammar, Joins)
{
    const wchar_t* cases[][3] = {{L"C:\\app\\", L"x", L"C:\\app\\x"}, {L"C:", L"name", L"C:name"},
                                 {L"\\\\server", L"share", L"\\\\server\\share"}, {L"C:\\app", L"D:name", L"D:name"},
                                 {L"C:\\app", L"C:name", L"C:\\app\\name"}, {L"C:\\app", L"\\other", L"C:\\other"}};
    for (const auto& c : cases) {
        EXPECT_EQ(joinPath(c[0], c[1]), c[2]) << shown(c[0]) << " / " << shown(c[1]);
    }
}

// Only the forms every reader of a path takes alike pass.
TEST(PathGrammar, AcceptsOnlyFormsEveryReaderTakesAlike)
{
    for (const wchar_t* path : {L"C:\\Program Files\\Quorila", L"c:/x/y/", L"C:\\x\\..\\y", L"\\\\server\\share\\x",
                                L"\\\\?\\C:\\x\\", L"\\\\?\\UNC\\server\\share\\x", L"..\\backup", L"\\x",
                                L"C:\\CONSOLE\\COM10\\güncelleme"}) {
        EXPECT_TRUE(isAcceptedPathForm(path)) << shown(path);
    }
    for (const wchar_t* path :
         {L"", L"\\??\\C:\\x", L"\\\\.\\C:\\x", L"//?/C:/x", L"\\\\?\\GLOBALROOT\\x", L"\\\\?\\Volume{0}\\x",
          L"\\\\?\\C:", L"\\\\?\\C:\\x/y", L"\\\\?\\C:\\x\\..", L"\\\\?\\C:\\.\\x", L"\\\\?\\C:\\x.", L"\\\\?\\C:\\x \\y",
          L"\\\\?\\C:\\x\\\\y", L"\\\\?\\UNC\\s", L"C:x", L"C:", L"C:\\x:stream", L"C:\\x\\nul.txt", L"C:\\CON \\x",
          L"COM1", L"C:\\lpt\u00B9", L"C:\\CONOUT$", L"C:\\x\\a*b", L"C:\\x|y", L"C:\\x\ty", L"\\\\server",
          L"\\\\server\\\\share"}) {
        EXPECT_FALSE(isAcceptedPathForm(path)) << shown(path);
    }
}

bool exactly(std::wstring_view a, std::wstring_view b)
{
    return a == b;
}

TEST(PathCompare, SameFolderOrInsideElementByElement)
{
    const std::tuple<const wchar_t*, const wchar_t*, bool> equal[] = {
        {L"C:\\app\\sub", L"C:\\\\app//\\sub", true}, {L"\\\\server\\share", L"//server\\share", false},
        {L"C:\\app", L"c:\\app", false},               {L"C:app", L"C:\\app", false},
        {L"C:\\app\\", L"C:\\app", false},             {L"C:\\app", L"C:\\ap", false},
        {L"C:\\a\\b", L"C:\\ab", false},               {L"C:\\x\\..\\app", L"C:\\app", false},
    };
    for (const auto& [a, b, result] : equal) {
        EXPECT_EQ(pathsEqual(a, b), result) << shown(a) << " vs " << shown(b);
        EXPECT_EQ(pathsEqual(b, a), result) << shown(b) << " vs " << shown(a);
    }
    const std::tuple<const wchar_t*, const wchar_t*, bool> inside[] = {
        {L"C:\\app", L"C:\\app", true},          {L"C:/app//.\\backup", L"C:\\app", true},
        {L"C:\\app", L"C:\\app\\backup", false}, {L"C:\\app-backup", L"C:\\app", false},
        {L"C:\\x\\..\\app", L"C:\\app", true},    {L"C:\\app\\..\\..\\other", L"C:\\app", false},
        {L"\\\\?\\C:\\app\\b", L"C:\\app", true}, {L"\\??\\C:\\app", L"\\\\.\\C:\\app\\", true},
        {L"\\\\?\\UNC\\server\\share\\app", L"\\\\server\\share", true}, {L"\\\\server\\share", L"\\\\server", false},
        {L"C:app", L"C:\\app", false},           {L"C:\\APP\\x", L"C:\\app", false},
    };
    for (const auto& [inner, outer, result] : inside) {
        EXPECT_EQ(isSameOrInside(inner, outer, exactly), result) << shown(inner) << " in " << shown(outer);
    }
    for (const wchar_t* root : {L"C:\\", L"C:\\..", L"\\\\?\\C:", L"\\\\server\\share\\", L"\\\\?\\UNC\\server\\share", L""}) {
        EXPECT_TRUE(isVolumeRoot(root)) << shown(root);
    }
    for (const wchar_t* below : {L"C:\\app", L"\\\\?\\C:\\app", L"\\\\server\\share\\app"}) {
        EXPECT_FALSE(isVolumeRoot(below)) << shown(below);
    }
}

TEST(NamesBelowAFolder, KeepEverythingInsideAndTheInstallerFilesByName)
{
    for (const wchar_t* kept : {L"C:\\Q\\unins000.exe", L"C:\\Q\\Unins000.exe", L"C:/Q/UNINS-data", L"unins"}) {
        EXPECT_TRUE(isInstallerMaintenanceFile(kept)) << shown(kept);
    }
    for (const wchar_t* removed : {L"C:\\Q\\unin.exe", L"C:\\Q\\xunins", L"C:\\unins000\\a.exe", L"C:\\Q\\unins000\\",
                                   L"C:\\Q\\UN\u0130NS000.EXE", L"C:\\Q\\un\u0131ns"}) {
        EXPECT_FALSE(isInstallerMaintenanceFile(removed)) << shown(removed);
    }
    for (const wchar_t* name : {L"Quorila.exe", L"bin/Quorila.exe", L"..Quorila.exe"}) {
        EXPECT_TRUE(isNameInsideFolder(name)) << shown(name);
    }
    for (const wchar_t* name : {L"", L"..", L"..\\Quorila.exe", L"bin/../../Q.exe", L"C:Q.exe", L"\\Q.exe",
                                L"\\\\?\\C:\\Q.exe", L"bin\\"}) {
        EXPECT_FALSE(isNameInsideFolder(name)) << shown(name);
    }
    const std::tuple<const wchar_t*, const wchar_t*, std::optional<std::wstring>> below[] = {
        {L"C:\\src", L"C:\\src\\a\\b.txt", L"a\\b.txt"}, {L"C:/src/", L"C:/src//a", L"a"},
        {L"C:\\src", L"C:\\src\\..a", L"..a"},           {L"C:", L"C:a", L"a"},
        {L"C:\\src", L"C:\\src2\\a", std::nullopt},      {L"C:\\src", L"c:\\src\\a", std::nullopt},
        {L"C:\\src", L"C:\\src\\", std::nullopt},        {L"C:\\src", L"C:\\src\\a\\..\\..\\x", std::nullopt},
        {L"C:\\src", L"C:\\src\\.\\a", std::nullopt},    {L"C:\\src", L"C:\\src\\D:x", std::nullopt},
    };
    for (const auto& [source, entry, relative] : below) {
        EXPECT_EQ(relativeBelow(source, entry), relative) << shown(entry);
    }
    // Whatever the rule accepts lands below the destination it is joined to.
    const std::wstring parts[] = {L"a", L"..", L".", L"\\", L"/", L"C:", L"..b"};
    std::mt19937 random(11);
    for (int round = 0; round < 3000; ++round) {
        std::wstring entry = L"C:\\src\\";
        for (int n = static_cast<int>(random() % 5); n >= 0; --n) {
            entry += parts[random() % std::size(parts)];
        }
        if (const auto relative = relativeBelow(L"C:\\src", entry)) {
            const std::wstring target = joinPath(L"D:\\dest", *relative);
            EXPECT_TRUE(isSameOrInside(target, L"D:\\dest", exactly) && !isSameOrInside(L"D:\\dest", target, exactly))
                << shown(entry);
        }
    }
}

TEST(Options, PairedAsTheApplicationPassesThem)
{
    // A model of the pairing: after the program, token 2k+1 is a key when it begins with "--",
    // token 2k+2 its value; a later pair wins.
    const std::wstring alphabet[] = {L"--pid", L"--log", L"--PID", L"-pid", L"--", L"-", L"42", L"", L"C:\\x"};
    std::mt19937 random(3);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::wstring> tokens{random() % 2 ? L"--pid" : L"QuorilaUpdater.exe"};
        std::map<std::wstring, std::wstring> model;
        for (int n = static_cast<int>(random() % 7); n > 0; --n) {
            tokens.push_back(alphabet[random() % std::size(alphabet)]);
        }
        for (std::size_t i = 1; i + 1 < tokens.size(); i += 2) {
            if (tokens[i].starts_with(L"--")) {
                model[tokens[i]] = tokens[i + 1];
            }
        }
        const UpdateOptions options = readUpdateOptions(pairOptionTokens(tokens));
        EXPECT_EQ(options.pidText, model[L"--pid"]) << round;
        EXPECT_EQ(options.logPath, model[L"--log"]) << round;
    }
    const UpdateOptions all = readUpdateOptions(pairOptionTokens(
        {L"u", L"--pid", L" 42", L"--source", L"r", L"--target", L"t", L"--backup", L"b", L"--exe", L"e", L"--log", L"l"}));
    EXPECT_TRUE(hasAllOptions(all));
    EXPECT_EQ(all.pidText + all.releaseFolder + all.installFolder + all.backupFolder + all.exeName + all.logPath,
              L" 42rtbel");
    EXPECT_FALSE(hasAllOptions(readUpdateOptions(pairOptionTokens({L"u", L"--pid", L"42", L"--exe", L""}))));
}

TEST(ProcessId, ReadAsWcstoulReadsBaseTenIntoThirtyTwoBits)
{
    const std::pair<const wchar_t*, std::optional<std::uint32_t>> cases[] = {
        {L" +0042", 42u}, {L"4294967296", 4294967295u}, {L"-1", 4294967295u}, {L"-4294967295", 1u},
        {L"42 ", std::nullopt}, {L"0x2A", std::nullopt}, {L"0", std::nullopt}, {L"-0", std::nullopt},
        {L"", std::nullopt}, {L"+-1", std::nullopt}, {L"\u0661", std::nullopt}, {L"\u00A042", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(parseProcessId(text), expected) << testing::PrintToString(std::wstring(text));
    }
    if constexpr (sizeof(unsigned long) == 4) {
        // Where wcstoul reads into 32 bits (Windows), the reading is wcstoul's own.
        const wchar_t* parts[] = {L"0", L"7", L"99999", L"4294967295", L"-", L"+", L" ", L"x", L"9"};
        std::mt19937 random(5);
        for (int round = 0; round < 3000; ++round) {
            std::wstring text;
            for (int n = static_cast<int>(random() % 4); n >= 0; --n) {
                text += parts[random() % std::size(parts)];
            }
            wchar_t* end = nullptr;
            errno = 0;
            unsigned long value = std::wcstoul(text.c_str(), &end, 10);
            // Windows gives the largest value on any overflow, whatever the sign; Wine's negates it.
            value = errno == ERANGE ? ULONG_MAX : value;
            const bool whole = end != text.c_str() && *end == L'\0' && value != 0;
            EXPECT_EQ(parseProcessId(text), whole ? std::optional<std::uint32_t>(value) : std::nullopt)
                << testing::PrintToString(text);
        }
    }
}

TEST(Relaunch, QuotesEachArgumentForTheSplitter)
{
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"--pid", L"--pid"},
        {LR"(C:\Quorila\bin\)", LR"(C:\Quorila\bin\)"},
        {L"", LR"("")"},
        {L"a\tb", L"\"a\tb\""},
        {LR"(C:\Program Files\Quorila\)", LR"("C:\Program Files\Quorila\\")"},
        {LR"(x"y)", LR"("x\"y")"},
        {LR"(a\\"b)", LR"("a\\\\\"b")"},
        {LR"(a\\b c)", LR"("a\\b c")"},
    };
    for (const auto& [argument, quoted] : cases) {
        EXPECT_EQ(quoteArgument(argument), quoted);
    }
    EXPECT_EQ(joinRelaunchArguments({LR"(C:\a b\u.exe)", L"--exe", L"", L"--log", L"C:\\l l\\"}),
              LR"(--exe "" --log "C:\l l\\")");
    EXPECT_EQ(probeFileName(4294967295u), L".quorila_updater_write_4294967295.tmp");
}

TEST(LogFormat, TimeWithoutLeadingZerosUtf8AndCrLf)
{
    EXPECT_EQ(formatLogLine({2026, 1, 6, 0, 5, 3}, L"Quorila süreci kapandı."),
              "[2026-1-6 0:5:3] Quorila s\xC3\xBCreci kapand\xC4\xB1.\r\n");
    EXPECT_EQ(formatLogLine({2027, 12, 31, 23, 59, 59}, L"x"), "[2027-12-31 23:59:59] x\r\n");
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(toUtf8(std::wstring{wchar_t(0xD83D), wchar_t(0xDE00), L'\u0800'}), "\xF0\x9F\x98\x80\xE0\xA0\x80");
    EXPECT_EQ(toUtf8(std::wstring{L'a', wchar_t(0xD800), L'b', wchar_t(0xDC00)}), "a" + replacement + "b" + replacement);
}

} // namespace
} // namespace quorila
