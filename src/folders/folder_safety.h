#pragma once

#include <string>
#include <string_view>

namespace quorila {

// Textual equality of two folder texts: root names equal unit for unit, both or neither with a
// root directory, then the relative parts equal with any run of separators matching any other.
bool pathsEqual(std::wstring_view a, std::wstring_view b);

// Full (absolute) form of a path from GetFullPathNameW; on failure an empty text and the
// platform's error number.
struct FullPath {
    std::wstring text;
    unsigned long error = 0;
};
FullPath fullPath(const std::wstring& path);

// The single-folder rule: not empty, not a bare name, and its full form not a bare root.
bool isSafeFolder(const std::wstring& path);

// True when the three folders may be worked on (see folder_safety.cpp for the rules beyond the
// textual ones: same folder in other letter case or through a link, one folder inside another,
// roots of drives and shares). Silent.
bool checkFolderSafety(const std::wstring& releaseFolder, const std::wstring& installFolder,
                       const std::wstring& backupFolder);

} // namespace quorila
