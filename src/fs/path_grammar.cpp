#include "fs/path_grammar.h"

#include <cstddef>

namespace quorila {

namespace {

// "X:" at the start of the text.
bool startsWithDrive(std::wstring_view path) noexcept
{
    return isDriveDesignator(path.substr(0, 2));
}

// Length of the root name at the start of `path`; the first form that matches wins.
std::size_t rootNameLength(std::wstring_view path) noexcept
{
    const std::size_t size = path.size();
    if (startsWithDrive(path)) {
        return 2;
    }
    if (size < 2 || !isSeparator(path[0])) {
        return 0;
    }
    // Device prefix: "\\?\", "\\.\" or "\??\" (any separators), the fourth unit a separator
    // that no further separator follows.
    if (size >= 4 && isSeparator(path[3]) && (size == 4 || !isSeparator(path[4])) && isDevicePrefix(path.substr(0, 3))) {
        return 3;
    }
    // Server: exactly two separators, then a name up to the next separator.
    if (size >= 3 && isSeparator(path[1]) && !isSeparator(path[2])) {
        std::size_t end = 3;
        while (end < size && !isSeparator(path[end])) {
            ++end;
        }
        return end;
    }
    return 0;
}

// Length of the root path: root name and the run of separators after it.
std::size_t rootPathLength(std::wstring_view path) noexcept
{
    std::size_t end = rootNameLength(path);
    while (end < path.size() && isSeparator(path[end])) {
        ++end;
    }
    return end;
}

// Index where the file name begins (path.size() when there is none).
std::size_t fileNameStart(std::wstring_view path) noexcept
{
    const std::size_t rootEnd = rootNameLength(path);
    std::size_t start = path.size();
    while (start > rootEnd && !isSeparator(path[start - 1])) {
        --start;
    }
    return start;
}

// The literal form's prefix, exactly so: with '/' or '.' in it the platform normalises the path.
constexpr std::wstring_view literalPrefix = L"\\\\?\\";

// A name the platform reads as a device in any folder: CON, PRN, AUX, NUL, COM0-9, LPT0-9 (also
// with a superscript digit), CONIN$, CONOUT$, whatever extension or trailing blanks follow.
bool isDeviceName(std::wstring_view element) noexcept
{
    std::wstring_view base = element.substr(0, element.find(L'.'));
    while (!base.empty() && base.back() == L' ') {
        base.remove_suffix(1);
    }
    for (const std::wstring_view device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (equalsIgnoringAsciiCase(base, device)) {
            return true;
        }
    }
    const std::wstring_view stem = base.substr(0, 3);
    if (base.size() != 4 || !(equalsIgnoringAsciiCase(stem, L"COM") || equalsIgnoringAsciiCase(stem, L"LPT"))) {
        return false;
    }
    const wchar_t digit = base[3];
    return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

// True when `element` holds no character a name may not hold (':' of a stream among them) and is no
// device name.
bool isPlainName(std::wstring_view element) noexcept
{
    for (const wchar_t c : element) {
        if (c < 0x20 || std::wstring_view(L"<>:\"|?*").find(c) != std::wstring_view::npos) {
            return false;
        }
    }
    return !isDeviceName(element);
}

// A name the platform trims when it normalises a path: another name than the one written.
bool endsInDotOrBlank(std::wstring_view element) noexcept
{
    return !element.empty() && (element.back() == L'.' || element.back() == L' ');
}

// True when every element of `names` is a name a file may have. Inside a literal form, where the
// platform neither splits at '/' nor resolves dots nor trims names, those are refused as well.
bool hasPlainNames(std::wstring_view names, bool literal) noexcept
{
    if (literal && names.find(L'/') != std::wstring_view::npos) {
        return false;
    }
    return everyElement(names, [literal](std::wstring_view element, bool last) {
        // Only a trailing separator may leave an element empty.
        return isPlainName(element)
            && !(literal && (element.empty() ? !last
                                             : element == L"." || element == L".." || endsInDotOrBlank(element)));
    });
}

// "server\share" with nothing or a separator and plain names after it.
bool isShare(std::wstring_view text, bool literal) noexcept
{
    const std::size_t serverEnd = text.find_first_of(L"\\/");
    if (serverEnd == 0 || serverEnd == std::wstring_view::npos || serverEnd + 1 >= text.size()
        || isSeparator(text[serverEnd + 1])) {
        return false;
    }
    return hasPlainNames(text, literal);
}

} // namespace

bool isSeparator(wchar_t c) noexcept
{
    return c == L'\\' || c == L'/';
}

bool isDriveDesignator(std::wstring_view text) noexcept
{
    return text.size() == 2 && ((text[0] >= L'A' && text[0] <= L'Z') || (text[0] >= L'a' && text[0] <= L'z'))
        && text[1] == L':';
}

bool isDevicePrefix(std::wstring_view name) noexcept
{
    return name.size() == 3 && isSeparator(name[0])
        && ((isSeparator(name[1]) && (name[2] == L'?' || name[2] == L'.')) || (name[1] == L'?' && name[2] == L'?'));
}

bool equalsIgnoringAsciiCase(std::wstring_view text, std::wstring_view upper) noexcept
{
    if (text.size() != upper.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if ((c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c) != upper[i]) {
            return false;
        }
    }
    return true;
}

bool isNameInsideFolder(std::wstring_view exeName) noexcept
{
    // Joined to the folders' full forms, literal ones among them: every element must mean the
    // same file there as in a plain path, and every check, the copy and the start must name one
    // file, so "." and ".." (names ending in a dot) are refused with the rest.
    return !fileName(exeName).empty() && rootPath(exeName).empty()
        && everyElement(exeName, [](std::wstring_view element, bool) {
               return isPlainName(element) && !endsInDotOrBlank(element);
           });
}

std::wstring_view rootName(std::wstring_view path) noexcept
{
    return path.substr(0, rootNameLength(path));
}

std::wstring_view rootDirectory(std::wstring_view path) noexcept
{
    const std::size_t nameEnd = rootNameLength(path);
    return path.substr(nameEnd, rootPathLength(path) - nameEnd);
}

std::wstring_view rootPath(std::wstring_view path) noexcept
{
    return path.substr(0, rootPathLength(path));
}

std::wstring_view relativePart(std::wstring_view path) noexcept
{
    return path.substr(rootPathLength(path));
}

std::wstring_view parentPath(std::wstring_view path) noexcept
{
    const std::size_t relativeStart = rootPathLength(path);
    std::size_t end = path.size();
    if (end == relativeStart) {
        return path;
    }
    while (end > relativeStart && !isSeparator(path[end - 1])) {
        --end;
    }
    while (end > relativeStart && isSeparator(path[end - 1])) {
        --end;
    }
    return path.substr(0, end);
}

std::wstring_view fileName(std::wstring_view path) noexcept
{
    return path.substr(fileNameStart(path));
}

bool isAbsolute(std::wstring_view path) noexcept
{
    if (startsWithDrive(path)) {
        return path.size() >= 3 && isSeparator(path[2]);
    }
    return rootNameLength(path) != 0;
}

bool isAcceptedPathForm(std::wstring_view path) noexcept
{
    if (path.empty()) {
        return false;
    }
    if (startsWithDrive(path)) {
        return path.size() >= 3 && isSeparator(path[2]) && hasPlainNames(path.substr(3), false);
    }
    const std::size_t rootLength = rootNameLength(path);
    if (rootLength == 0) {
        return hasPlainNames(path, false);
    }
    if (path.starts_with(literalPrefix)) {
        const std::wstring_view rest = path.substr(literalPrefix.size());
        if (startsWithDrive(rest) && rest.size() >= 3 && rest[2] == L'\\') {
            return hasPlainNames(rest.substr(3), true);
        }
        return rest.size() > 4 && equalsIgnoringAsciiCase(rest.substr(0, 3), L"UNC") && rest[3] == L'\\'
            && isShare(rest.substr(4), true);
    }
    // Any other device prefix ("\??\", "\\.\", "//?/") is refused; what is left is a server.
    return !isDevicePrefix(rootName(path)) && isShare(path.substr(2), false);
}

std::wstring joinPath(std::wstring_view folder, std::wstring_view name)
{
    bool needsSeparator = false;
    if (!name.empty() && !isSeparator(name[0]) && !startsWithDrive(name)) {
        // The common case: a relative name below a folder.
        needsSeparator = !folder.empty() && !isSeparator(folder.back()) &&
                         !(folder.size() == 2 && startsWithDrive(folder));
    } else {
        // The general append rule.
        const std::wstring_view nameRoot = rootName(name);
        if (isAbsolute(name) || (!nameRoot.empty() && nameRoot != rootName(folder))) {
            return std::wstring(name);
        }
        name.remove_prefix(nameRoot.size());
        if (!name.empty() && isSeparator(name.front())) {
            folder = rootName(folder); // a name from the root: the folder's root name in front
        } else {
            needsSeparator = !fileName(folder).empty() || (rootDirectory(folder).empty() && isAbsolute(folder));
        }
    }
    std::wstring joined;
    joined.reserve(folder.size() + 1 + name.size());
    joined.append(folder);
    if (needsSeparator) {
        joined.push_back(L'\\');
    }
    joined.append(name);
    return joined;
}

} // namespace quorila
