// The release package checks, which ask the file system.

#include <string>

#include "driver/release_package.h"
#include "fs/file_ops.h"
#include "fs/held.h"
#include "fs/path_grammar.h"

namespace quorila {

namespace {

bool isBelow(const Held& folder, std::wstring_view relative, FileKind kind)
{
    std::error_code error;
    return folder.handle && kindBelow(folder, relative, error) == kind && !error;
}

} // namespace

bool checkReleasePackage(const Held& release, const std::wstring& exeName)
{
    // An --exe naming anything but a file inside the folders would make the updater verify and
    // start a program outside the installation.
    return isNameInsideFolder(exeName) && isBelow(release, exeName, FileKind::file)
        && isBelow(release, L"data", FileKind::folder);
}

bool verifyNewExecutable(const Held& install, const std::wstring& exeName)
{
    return isBelow(install, exeName, FileKind::file);
}

} // namespace quorila
