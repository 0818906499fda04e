#include <gtest/gtest.h>

#include "log/log_format.h"

namespace quorila {
namespace {

TEST(LogFormat, TimeStampHasNoLeadingZerosAndTheLineEndsInCrLf)
{
    struct Case {
        LocalTime time;
        const char* expected;
    };
    const Case cases[] = {
        {{2026, 1, 6, 9, 5, 3}, "[2026-1-6 9:5:3] x\r\n"},
        {{2026, 1, 1, 0, 0, 5}, "[2026-1-1 0:0:5] x\r\n"},
        {{2026, 12, 31, 23, 59, 59}, "[2026-12-31 23:59:59] x\r\n"},
        {{2027, 10, 10, 10, 10, 10}, "[2027-10-10 10:10:10] x\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(formatLogLine(c.time, L"x"), c.expected);
    }
}

TEST(LogFormat, TurkishLettersAreWrittenAsUtf8)
{
    EXPECT_EQ(formatLogLine({2026, 3, 4, 5, 6, 7}, L"Quorila süreci kapandı."),
              "[2026-3-4 5:6:7] Quorila s\xC3\xBC" "reci kapand\xC4\xB1.\r\n");
    EXPECT_EQ(toUtf8(L"çğıİöşüÇĞÖŞÜ"), "\xC3\xA7\xC4\x9F\xC4\xB1\xC4\xB0\xC3\xB6\xC5\x9F\xC3\xBC\xC3\x87\xC4\x9E\xC3\x96\xC5\x9E\xC3\x9C");
}

TEST(LogFormat, Utf16IsConvertedAndUnpairedSurrogatesBecomeReplacementCharacters)
{
    struct Case {
        std::wstring text;
        std::string expected;
    };
    const std::string replacement = "\xEF\xBF\xBD";
    const Case cases[] = {
        {L"", ""},
        {L"a\u007F", "a\x7F"},
        {L"\u0080\u07FF", "\xC2\x80\xDF\xBF"},
        {L"\u0800\uFFFF", "\xE0\xA0\x80\xEF\xBF\xBF"},
        {std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}, "\xF0\x9F\x98\x80"}, // a surrogate pair
        {std::wstring{L'a', wchar_t(0xD800), L'b'}, "a" + replacement + "b"},  // lone high
        {std::wstring{L'a', wchar_t(0xDC00)}, "a" + replacement},               // lone low
        {std::wstring{wchar_t(0xD800)}, replacement},                           // high at the end
        {std::wstring{wchar_t(0xDC00), wchar_t(0xD800)}, replacement + replacement}, // reversed pair
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toUtf8(c.text), c.expected);
    }
}

} // namespace
} // namespace quorila
