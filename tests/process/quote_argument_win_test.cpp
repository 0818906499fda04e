// The relaunched updater reads its options with CommandLineToArgvW: whatever the quoting writes,
// the platform's splitter must give back the very same list.

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "process/relaunch.h"

namespace quorila {
namespace {

struct ArgvDeleter {
    void operator()(wchar_t** argv) const noexcept { LocalFree(argv); }
};

std::vector<std::wstring> split(const std::wstring& commandLine)
{
    int count = 0;
    const std::unique_ptr<wchar_t*, ArgvDeleter> argv(CommandLineToArgvW(commandLine.c_str(), &count));
    if (!argv) {
        return {L"<CommandLineToArgvW failed>"};
    }
    return std::vector<std::wstring>(argv.get(), argv.get() + count);
}

// One argument made of the units that quoting has to care about, with runs of backslashes
// placed before quotes and at the end more often than chance would.
std::wstring randomArgument(std::mt19937& random)
{
    static const std::wstring plain = L"aZ9-:._ğüşİıöçĞÜŞÖÇ";
    std::uniform_int_distribution<int> length(0, 10);
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<int> run(1, 4);
    std::uniform_int_distribution<std::size_t> letter(0, plain.size() - 1);
    std::wstring argument;
    for (int i = length(random); i > 0; --i) {
        switch (kind(random)) {
        case 0: argument += L' '; break;
        case 1: argument += L'\t'; break;
        case 2: argument += L'"'; break;
        case 3: argument.append(static_cast<std::size_t>(run(random)), L'\\'); break;
        case 4: argument.append(static_cast<std::size_t>(run(random)), L'\\') += L'"'; break;
        default: argument += plain[letter(random)]; break;
        }
    }
    if (kind(random) == 0) {
        argument.append(static_cast<std::size_t>(run(random)), L'\\');
    }
    return argument;
}

TEST(QuoteArgumentRoundTrip, SplitterGivesBackHandPickedAndGeneratedLists)
{
    const std::vector<std::wstring> handPicked = {
        L"prog", L"", L"\"", L"\\", L"\\\\", L"\\\"", L" ", L"\t", L"a b\\", L"a b\\\\",
        L"C:\\Program Files\\Quorila\\", L"x\"y", L"a\\\\\"b", L"\"\"", L"", L"son"};
    EXPECT_EQ(split(L"prog " + joinRelaunchArguments(handPicked)), handPicked);

    std::mt19937 random(20240611u);
    std::uniform_int_distribution<int> count(1, 7);
    int mismatches = 0;
    for (int round = 0; round < 5000 && mismatches < 5; ++round) {
        std::vector<std::wstring> arguments{L"prog"};
        for (int i = count(random); i > 0; --i) {
            arguments.push_back(randomArgument(random));
        }
        if (split(L"prog " + joinRelaunchArguments(arguments)) != arguments) {
            ++mismatches;
            ADD_FAILURE() << "round " << round << ": the command line was split differently";
        }
    }
}

} // namespace
} // namespace quorila
