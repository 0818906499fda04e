// The release package checks, which ask the file system.

#include <string>
#include <system_error>

#include "driver/release_package.h"
#include "folders/file_ops.h"
#include "folders/path_grammar.h"

namespace quorila {

namespace {

// Query errors count as absence.
bool isKind(const std::wstring& path, FileKind kind)
{
    std::error_code error;
    return fileKind(path, error) == kind && !error;
}

} // namespace

bool checkReleasePackage(const std::wstring& releaseFolder, const std::wstring& exeName)
{
    // An --exe naming anything but a file inside the folders would make the updater verify and
    // start a program outside the installation.
    return isNameInsideFolder(exeName) && isKind(joinPath(releaseFolder, exeName), FileKind::file)
        && isKind(joinPath(releaseFolder, L"data"), FileKind::folder);
}

bool verifyNewExecutable(const std::wstring& path)
{
    return isKind(path, FileKind::file);
}

} // namespace quorila
