#include <gtest/gtest.h>

#include "driver/release_package.h"
#include "folders/path_grammar.h"

namespace quorila {
namespace {

TEST(ProcessId, ReadAsWcstoulReadsBaseTenIntoThirtyTwoBits)
{
    struct Case {
        std::wstring_view text;
        std::optional<std::uint32_t> expected;
    };
    const Case cases[] = {
        {L"4242", 4242u},
        {L" 4242", 4242u},
        {L"\t\n\v\f\r7", 7u},
        {L"+42", 42u},
        {L"0042", 42u},
        {L"4294967295", 4294967295u},
        {L"4294967296", 4294967295u},            // beyond the largest value: the largest value
        {L"99999999999999999999999", 4294967295u},
        {L"-1", 4294967295u},                     // negated modulo 2^32
        {L"-4294967295", 1u},
        {L"-4294967296", 4294967295u},            // overflow wins over the sign
        {L"42 ", std::nullopt},
        {L"42a", std::nullopt},
        {L"4.2", std::nullopt},
        {L"0x2A", std::nullopt},
        {L"0", std::nullopt},
        {L"000", std::nullopt},
        {L"-0", std::nullopt},
        {L"", std::nullopt},
        {L" ", std::nullopt},
        {L"+", std::nullopt},
        {L"+-1", std::nullopt},
        {L"abc", std::nullopt},
        {L"\u0661\u0662", std::nullopt},          // digits of other scripts are not decimal digits here
        {L"\u00A042", std::nullopt},              // a no-break space is not skipped
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseProcessId(c.text), c.expected) << std::string(c.text.begin(), c.text.end());
    }
}

TEST(ReleasePackage, ExecutableNameMustStayInsideTheFolder)
{
    struct Case {
        std::wstring_view name;
        bool inside;
    };
    const Case cases[] = {
        {L"Quorila.exe", true},
        {L"bin\\Quorila.exe", true},
        {L"bin/Quorila.exe", true},
        {L"..Quorila.exe", true},
        {L"a..\\b.exe", true},
        {L"", false},
        {L"..", false},
        {L"..\\Quorila.exe", false},
        {L"bin\\..\\..\\Quorila.exe", false},
        {L"bin/../Quorila.exe", false},
        {L"C:\\Windows\\notepad.exe", false},
        {L"C:Quorila.exe", false},
        {L"\\Quorila.exe", false},
        {L"/Quorila.exe", false},
        {L"\\\\server\\share\\Quorila.exe", false},
        {L"\\\\?\\C:\\Quorila.exe", false},
        {L"bin\\", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isNameInsideFolder(c.name), c.inside) << std::string(c.name.begin(), c.name.end());
    }
}

} // namespace
} // namespace quorila
