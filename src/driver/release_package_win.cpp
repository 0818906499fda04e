// The release package checks, which ask the file system.

#include <string>

#include "driver/release_package.h"
#include "fs/file_ops.h"
#include "fs/path_grammar.h"

namespace quorila {

bool checkReleasePackage(const std::wstring& releaseFolder, const std::wstring& exeName)
{
    // An --exe naming anything but a file inside the folders would make the updater verify and
    // start a program outside the installation. Query errors count as absence.
    return isNameInsideFolder(exeName) && knownFileKind(joinPath(releaseFolder, exeName)) == FileKind::file
        && knownFileKind(joinPath(releaseFolder, L"data")) == FileKind::folder;
}

bool verifyNewExecutable(const std::wstring& path)
{
    return knownFileKind(path) == FileKind::file;
}

} // namespace quorila
