#include "driver/option_paths.h"

#include <string>
#include <system_error>

#include "fs/full_path.h"
#include "fs/path_grammar.h"

namespace quorila {

namespace {

void makeFull(std::wstring& path, bool isFolder)
{
    if (!isAcceptedPathForm(path) || (isFolder && parentPath(path).empty())) {
        return;
    }
    std::error_code error;
    std::wstring full = fullPath(path, error);
    if (!error) {
        path = std::move(full);
    }
}

} // namespace

UpdateOptions withFullPaths(UpdateOptions options)
{
    makeFull(options.releaseFolder, true);
    makeFull(options.installFolder, true);
    makeFull(options.backupFolder, true);
    makeFull(options.logPath, false);
    return options;
}

} // namespace quorila
