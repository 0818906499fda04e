#include "driver/process_id.h"

namespace quorila {

namespace {

// The white space wcstoul skips in the "C" locale.
bool isBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

} // namespace

std::optional<std::uint32_t> parseProcessId(std::wstring_view pidText)
{
    constexpr std::uint64_t largest = 0xFFFFFFFFu;
    std::size_t pos = 0;
    while (pos < pidText.size() && isBlank(pidText[pos])) {
        ++pos;
    }
    bool negative = false;
    if (pos < pidText.size() && (pidText[pos] == L'+' || pidText[pos] == L'-')) {
        negative = pidText[pos] == L'-';
        ++pos;
    }
    const std::size_t firstDigit = pos;
    std::uint64_t value = 0;
    bool overflow = false;
    for (; pos < pidText.size() && pidText[pos] >= L'0' && pidText[pos] <= L'9'; ++pos) {
        value = value * 10 + static_cast<std::uint64_t>(pidText[pos] - L'0');
        if (value > largest) {
            overflow = true;
            value = largest;
        }
    }
    if (pos == firstDigit || pos != pidText.size()) {
        return std::nullopt; // no digit converted, or something follows the number
    }
    std::uint64_t result = overflow ? largest : value;
    if (negative && !overflow) {
        result = (largest + 1 - value) & largest; // wcstoul negates in the unsigned type
    }
    if (result == 0) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(result);
}

} // namespace quorila
