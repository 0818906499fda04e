#include "folders/path_grammar.h"

#include <cstddef>

namespace quorila {

namespace {

bool isAsciiLetter(wchar_t c) noexcept
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// "X:" at the start of the text.
bool startsWithDrive(std::wstring_view path) noexcept
{
    return path.size() >= 2 && isAsciiLetter(path[0]) && path[1] == L':';
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
    if (size >= 4 && isSeparator(path[3]) && (size == 4 || !isSeparator(path[4]))) {
        const bool slashSlash = isSeparator(path[1]) && (path[2] == L'?' || path[2] == L'.');
        const bool questionPair = path[1] == L'?' && path[2] == L'?';
        if (slashSlash || questionPair) {
            return 3;
        }
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

} // namespace

bool isSeparator(wchar_t c) noexcept
{
    return c == L'\\' || c == L'/';
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

std::wstring joinPath(std::wstring_view folder, std::wstring_view name)
{
    std::wstring joined;
    // The common case: a relative name below a folder.
    if (!name.empty() && !isSeparator(name[0]) && !startsWithDrive(name)) {
        const bool needsSeparator = !folder.empty() && !isSeparator(folder.back()) &&
                                    !(folder.size() == 2 && startsWithDrive(folder));
        joined.reserve(folder.size() + 1 + name.size());
        joined.append(folder);
        if (needsSeparator) {
            joined.push_back(L'\\');
        }
        joined.append(name);
        return joined;
    }

    // The general append rule.
    const std::wstring_view nameRoot = rootName(name);
    const std::wstring_view folderRoot = rootName(folder);
    if (isAbsolute(name) || (!nameRoot.empty() && nameRoot != folderRoot)) {
        return std::wstring(name);
    }
    const std::wstring_view nameRest = name.substr(nameRoot.size());
    if (!rootDirectory(name).empty()) {
        joined.reserve(folderRoot.size() + nameRest.size());
        joined.append(folderRoot);
        joined.append(nameRest);
        return joined;
    }
    const bool needsSeparator =
        !fileName(folder).empty() || (rootDirectory(folder).empty() && isAbsolute(folder));
    joined.reserve(folder.size() + 1 + nameRest.size());
    joined.append(folder);
    if (needsSeparator) {
        joined.push_back(L'\\');
    }
    joined.append(nameRest);
    return joined;
}

} // namespace quorila
