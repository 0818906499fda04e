#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "process/relaunch.h"
#include "process/write_access.h"

namespace quorila {
namespace {

struct QuoteCase {
    const char* name;
    std::wstring argument;
    std::wstring quoted;
};

TEST(QuoteArgument, WritesEachArgumentSoThatTheSplitterReadsItBack)
{
    const std::vector<QuoteCase> cases = {
        {"option name", L"--pid", L"--pid"},
        {"process id", L"4242", L"4242"},
        {"path without blanks keeps its backslashes", LR"(C:\Quorila\bin\)", LR"(C:\Quorila\bin\)"},
        {"backslashes before a quote-free end stay", LR"(a\\b\\)", LR"(a\\b\\)"},
        {"line feed does not quote", L"a\nb", L"a\nb"},
        {"vertical tab does not quote", L"a\vb", L"a\vb"},
        {"Turkish letters alone do not quote", L"Güncelleme_İşı", L"Güncelleme_İşı"},
        {"empty", L"", LR"("")"},
        {"blank", L"a b", LR"("a b")"},
        {"tab", L"a\tb", L"\"a\tb\""},
        {"only a blank", L" ", LR"(" ")"},
        {"path with blank keeps single backslashes", LR"(C:\Program Files\Quorila)",
         LR"("C:\Program Files\Quorila")"},
        {"trailing backslash is doubled before the closing quote", LR"(C:\Program Files\Quorila\)",
         LR"("C:\Program Files\Quorila\\")"},
        {"two trailing backslashes become four", LR"(a b\\)", LR"("a b\\\\")"},
        {"double quote gets one backslash", LR"(x"y)", LR"("x\"y")"},
        {"two backslashes then a quote get five", LR"(a\\"b)", LR"("a\\\\\"b")"},
        {"quote at the start and the end", LR"("q")", LR"("\"q\"")"},
        {"backslashes inside a quoted argument not before a quote", LR"(a\\b c)", LR"("a\\b c")"},
        {"backslashes before a quote and at the end", LR"(\"a b\)", LR"("\\\"a b\\")"},
    };
    for (const QuoteCase& c : cases) {
        EXPECT_EQ(quoteArgument(c.argument), c.quoted) << c.name;
    }
}

struct JoinCase {
    const char* name;
    std::vector<std::wstring> arguments; // program first
    std::wstring joined;
};

TEST(JoinRelaunchArguments, SkipsTheProgramAndSeparatesByOneBlank)
{
    const std::vector<JoinCase> cases = {
        {"no arguments at all", {}, L""},
        {"program only", {L"QuorilaUpdater.exe"}, L""},
        {"program with blanks is skipped", {LR"(C:\a b\QuorilaUpdater.exe)", L"--pid", L"7"}, L"--pid 7"},
        {"one empty argument", {L"u.exe", L""}, LR"("")"},
        {"empty argument between others keeps its place", {L"u.exe", L"--exe", L"", L"--log"},
         LR"(--exe "" --log)"},
        {"the six options",
         {L"u.exe", L"--pid", L"42", L"--source", LR"(C:\Users\Ayşe\AppData\Quorila\release)", L"--target",
          LR"(C:\Program Files\Quorila\)", L"--backup", LR"(C:\Program Files\Quorila Yedek)", L"--exe",
          L"Quorila.exe", L"--log", LR"(C:\log dir\update.log)"},
         LR"(--pid 42 --source C:\Users\Ayşe\AppData\Quorila\release --target "C:\Program Files\Quorila\\" )"
         LR"(--backup "C:\Program Files\Quorila Yedek" --exe Quorila.exe --log "C:\log dir\update.log")"},
    };
    for (const JoinCase& c : cases) {
        EXPECT_EQ(joinRelaunchArguments(c.arguments), c.joined) << c.name;
    }
}

TEST(ProbeFileName, PlainDecimalProcessId)
{
    EXPECT_EQ(probeFileName(7), L".quorila_updater_write_7.tmp");
    EXPECT_EQ(probeFileName(1000), L".quorila_updater_write_1000.tmp");
    EXPECT_EQ(probeFileName(4294967295u), L".quorila_updater_write_4294967295.tmp");
}

} // namespace
} // namespace quorila
