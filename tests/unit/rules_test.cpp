// The rules on text alone: the path grammar, the forms accepted, comparison, names below a folder,
// reading the command line (options, process id, the probe's name), the log line.

#include <gtest/gtest.h>

#include "base/options.h"
#include "driver/process_id.h"
#include "folders/entry_rules.h"
#include "fs/link_rule.h"
#include "fs/path_compare.h"
#include "fs/path_grammar.h"
#include "log/log_format.h"
#include "process/write_access.h"

namespace quorila {
namespace {

std::string shown(std::wstring_view text)
{
    return testing::PrintToString(std::wstring(text));
}

TEST(PathGrammar, TakesWindowsFormsApart)
{
    struct Pieces { const wchar_t *path, *rootName, *rootDirectory, *parent, *fileName; bool absolute; };
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
        EXPECT_EQ(std::wstring(rootPath(c.path)) + std::wstring(relativePart(c.path)), c.path);
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
          L"\\\\server\\\\share", L"C:\\x\x1Fy", L"C:\\com9.log"}) {
        EXPECT_FALSE(isAcceptedPathForm(path)) << shown(path);
    }
}

TEST(PathCompare, SameFolderOrInsideElementByElement)
{
    const ElementsEqual exactly = [](std::wstring_view a, std::wstring_view b) { return a == b; };
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
                                L"\\\\?\\C:\\Q.exe", L"bin\\", L"Q.exe:s", L"Q.exe.", L"bin \\Q.exe"}) {
        EXPECT_FALSE(isNameInsideFolder(name)) << shown(name);
    }
    // Links are the reparse points that stand for another name; the others hold their own data.
    const std::tuple<unsigned long, unsigned long, bool> links[] = {
        {0x410, 0xA000000C, true},  {0x20 | 0x400, 0xA000000C, true}, {0x410, 0xA0000003, true},
        {0x410, 0x80000013, false}, {0x420, 0x9000101A, false},       {0x10, 0xA000000C, false},
    };
    for (const auto& [attributes, tag, link] : links) {
        EXPECT_EQ(isLinkEntry(attributes, tag), link) << std::hex << attributes << " " << tag;
    }
}

TEST(Options, PairedAsTheApplicationPassesThem)
{
    // After the program, token 2k+1 is a key when it begins with "--", token 2k+2 its value.
    const std::pair<std::vector<std::wstring>, const wchar_t*> cases[] = {
        {{L"--pid", L"--source", L"r"}, L""},              // the program path is never a key
        {{L"u", L"--pid", L"1", L"--pid", L"2"}, L"2"},     // a later pair wins
        {{L"u", L"x", L"--pid", L"3"}, L""},                // pairs never shift
        {{L"u", L"--PID", L"4", L"-pid", L"5", L"--pid"}, L""}, // other keys; a last token alone
        {{L"u", L"--pid", L" 6 "}, L" 6 "},
    };
    for (const auto& [tokens, pid] : cases) {
        EXPECT_EQ(readUpdateOptions(pairOptionTokens(tokens)).pidText, pid) << testing::PrintToString(tokens);
    }
    const UpdateOptions all = readUpdateOptions(pairOptionTokens(
        {L"u", L"--pid", L"4", L"--source", L"r", L"--target", L"t", L"--backup", L"b", L"--exe", L"e", L"--log", L"l"}));
    EXPECT_TRUE(hasAllOptions(all));
    EXPECT_EQ(all.pidText + all.releaseFolder + all.installFolder + all.backupFolder + all.exeName + all.logPath,
              L"4rtbel");
    EXPECT_FALSE(hasAllOptions(readUpdateOptions(pairOptionTokens({L"u", L"--pid", L"42", L"--exe", L""}))));
    // The elevated copy's mark goes with the options and comes back; the application never sets it.
    EXPECT_TRUE(readUpdateOptions(pairOptionTokens(optionTokens({.pidText = L"4", .elevatedCopy = true}))).elevatedCopy);
    EXPECT_FALSE(all.elevatedCopy);
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
    EXPECT_EQ(probeFileName(4294967295u), L".quorila_updater_write_4294967295.tmp"); // the id in the probe's name
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
