#pragma once

#include <string_view>

namespace quorila {

// Comparisons of folder paths that need nothing of the platform.

// Textual equality of two folder texts: root names equal unit for unit, both or neither with a
// root directory, then the relative parts equal with any run of separators matching any other.
bool pathsEqual(std::wstring_view a, std::wstring_view b);

// How two path elements (folder names, drive letters, server names) are compared.
using ElementsEqual = bool (*)(std::wstring_view, std::wstring_view);

// True when the full path `inner` names the folder `outer` or a folder below it: the same volume
// (a drive, a share or a device; a drive or share behind a device prefix counts as the plain one)
// and outer's folder names leading inner's, each pair compared with `equal`. Separator kinds and
// runs, trailing separators and "." elements count for nothing; ".." takes back one name.
bool isSameOrInside(std::wstring_view inner, std::wstring_view outer, ElementsEqual equal);

// True when the full path names nothing below its volume: a drive root (plain or behind a device
// prefix), a share's top folder or a server alone, a device alone, or an empty text.
bool isVolumeRoot(std::wstring_view full);

} // namespace quorila
