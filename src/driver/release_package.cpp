#include "driver/release_package.h"

#include <filesystem>
#include <system_error>

#include "folders/path_grammar.h"

namespace quorila {

namespace {

// The white space wcstoul skips in the "C" locale.
bool isBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

bool hasType(const std::wstring& path, std::filesystem::file_type type)
{
    std::error_code error;
    const auto status = std::filesystem::status(std::filesystem::path(path), error);
    return !error && status.type() == type;
}

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

bool isNameInsideFolder(std::wstring_view exeName)
{
    if (exeName.empty() || !rootPath(exeName).empty() || fileName(exeName).empty()) {
        return false;
    }
    std::size_t start = 0;
    while (start <= exeName.size()) {
        std::size_t end = start;
        while (end < exeName.size() && !isSeparator(exeName[end])) {
            ++end;
        }
        if (exeName.substr(start, end - start) == L"..") {
            return false;
        }
        start = end + 1;
    }
    return true;
}

bool checkReleasePackage(const std::wstring& releaseFolder, const std::wstring& exeName)
{
    // An --exe naming anything but a file inside the folders would make the updater verify and
    // start a program outside the installation.
    if (!isNameInsideFolder(exeName)) {
        return false;
    }
    return hasType(joinPath(releaseFolder, exeName), std::filesystem::file_type::regular)
        && hasType(joinPath(releaseFolder, L"data"), std::filesystem::file_type::directory);
}

bool verifyNewExecutable(const std::wstring& path)
{
    return hasType(path, std::filesystem::file_type::regular);
}

} // namespace quorila
