#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorila {

// Textual equality of two folder texts: root names equal unit for unit, both or neither with a
// root directory, then the relative parts equal with any run of separators matching any other.
bool pathsEqual(std::wstring_view a, std::wstring_view b);

// How two path elements (folder names, drive letters, server names) are compared.
using ElementsEqual = bool (*)(std::wstring_view, std::wstring_view);

// The file system's way of comparing two elements: ordinal, ignoring letter case through the
// system's own case table (CompareStringOrdinal), never through a locale.
bool equalIgnoringCase(std::wstring_view a, std::wstring_view b);

// True when the full path `inner` names the folder `outer` or a folder below it: the same volume
// (a drive, a share or a device; a drive or share behind a device prefix counts as the plain one)
// and outer's folder names leading inner's, each pair compared with `equal`. Separator kinds and
// runs, trailing separators and "." elements count for nothing; ".." takes back one name.
bool isSameOrInside(std::wstring_view inner, std::wstring_view outer, ElementsEqual equal);

// True when the full path names nothing below its volume: a drive root (plain or behind a device
// prefix), a share's top folder or a server alone, a device alone, or an empty text.
bool isVolumeRoot(std::wstring_view full);

// Full (absolute) form of a path from GetFullPathNameW; on failure an empty text and the
// platform's error number.
struct FullPath {
    std::wstring text;
    unsigned long error = 0;
};
FullPath fullPath(const std::wstring& path);

// The final path of an existing folder, links followed and short names expanded (the platform
// gives it in the "\\?\" form); nothing when no folder is there or it cannot be opened.
std::optional<std::wstring> finalPath(const std::wstring& path);

// The single-folder rule: not empty, not a bare name, and its full form not a bare root.
bool isSafeFolder(const std::wstring& path);

// True when the three folders may be worked on (see folder_safety.cpp for the rules beyond the
// textual ones: same folder in other letter case or through a link, one folder inside another,
// roots of drives and shares). Silent.
bool checkFolderSafety(const std::wstring& releaseFolder, const std::wstring& installFolder,
                       const std::wstring& backupFolder);

} // namespace quorila
