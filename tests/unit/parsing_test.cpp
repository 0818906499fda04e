// Reading the command line and writing texts: option pairing, the process id, quoting for the
// relaunch, the log line.

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cwchar>
#include <map>
#include <random>

#include "base/options.h"
#include "driver/release_package.h"
#include "log/log_format.h"
#include "process/relaunch.h"
#include "process/write_access.h"

namespace quorila {
namespace {

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
