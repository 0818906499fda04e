#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorila {

// The Windows path grammar on UTF-16 text, whatever platform the code runs on: both '\' and '/'
// separate; nothing is looked up on disk and no dot elements are resolved. The views returned
// point into the argument.

bool isSeparator(wchar_t c) noexcept;

// "X:" alone, X an ASCII letter.
bool isDriveDesignator(std::wstring_view text) noexcept;
// A root name that is a device prefix: "\\?", "\\." or "\??", with either separator.
bool isDevicePrefix(std::wstring_view name) noexcept;
// `text` equals the upper-case ASCII `upper`, ASCII letters compared without case.
bool equalsIgnoringAsciiCase(std::wstring_view text, std::wstring_view upper) noexcept;

// Calls `visit(element, last)` for every element between separators, in order, the empty ones
// between two separators or after a trailing one included; stops at the first false and returns
// it. `last` is true for the final element.
template <typename Visit>
bool everyElement(std::wstring_view names, Visit visit)
{
    for (std::size_t start = 0;;) {
        std::size_t end = start;
        while (end < names.size() && !isSeparator(names[end])) {
            ++end;
        }
        if (!visit(names.substr(start, end - start), end == names.size())) {
            return false;
        }
        if (end == names.size()) {
            return true;
        }
        start = end + 1;
    }
}

// True when `exeName` names a file inside a folder in one spelling only: it stays below it, has a
// non-empty file name, and every element is a name a file may have, as in a literal form (no
// ".", "..", device name, stream, reserved character, or name ending in a dot or blank).
bool isNameInsideFolder(std::wstring_view exeName) noexcept;

// "C:", a device prefix ("\\?", "\\.", "\??") or a server ("\\server"); empty otherwise.
std::wstring_view rootName(std::wstring_view path) noexcept;
// The run of separators right after the root name (possibly empty).
std::wstring_view rootDirectory(std::wstring_view path) noexcept;
// Root name followed by root directory.
std::wstring_view rootPath(std::wstring_view path) noexcept;
// Everything after the root path.
std::wstring_view relativePart(std::wstring_view path) noexcept;
// The path without its last element and the separators before it; the whole text when the
// relative part is empty; empty only for one bare element.
std::wstring_view parentPath(std::wstring_view path) noexcept;
// The units after the last separator, never reaching into the root name; empty when the text
// ends in a separator or is a root path alone.
std::wstring_view fileName(std::wstring_view path) noexcept;
// Drive with a separator after it, device prefix, or server.
bool isAbsolute(std::wstring_view path) noexcept;

// True for the path forms the updater works on: drive-absolute (C:\x), UNC (\\server\share\x),
// their literal forms (\\?\C:\x, \\?\UNC\server\share\x) and relative paths (x\y, ..\x, \x).
// Everything else is refused, so that every check reads a path as the file operations do:
// \??\ and the other device forms, drive-relative C:x, alternate data streams, device names
// (CON, NUL, COM1, ...), characters no name may hold, and, inside a literal \\?\ form (which the
// platform does not normalise), '/', "." and ".." elements and names ending in a dot or blank.
bool isAcceptedPathForm(std::wstring_view path) noexcept;

// `folder` joined with `name`, inserting '\' where needed (std::filesystem::path's append rule
// read with the pieces above).
std::wstring joinPath(std::wstring_view folder, std::wstring_view name);

} // namespace quorila
