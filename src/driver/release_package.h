#pragma once

#include <string>

namespace quorila {

// True when the release holds `exeName` as a regular file and "data" as a folder (links followed,
// query errors count as absence), and `exeName` stays inside the folder. Silent.
bool checkReleasePackage(const std::wstring& releaseFolder, const std::wstring& exeName);

// True when `path` (links followed) is a regular file and its status could be read. Silent.
bool verifyNewExecutable(const std::wstring& path);

} // namespace quorila
