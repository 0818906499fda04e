#include "process/write_access.h"

#include <windows.h>

#include "base/unique_handle.h"
#include "fs/full_path.h"
#include "fs/path_grammar.h"

namespace quorila {

bool canWriteFolder(const std::wstring& folder)
{
    // The name holds our process id, so an updater and its elevated copy never share a probe.
    const std::wstring probePath = joinPath(folder, probeFileName(GetCurrentProcessId()));
    // Created new: a link or anything else at its name makes the probe fail, never a write through.
    UniqueFile probe(CreateFileW(longForm(probePath).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_FLAG_DELETE_ON_CLOSE | FILE_ATTRIBUTE_TEMPORARY, nullptr));
    if (!probe) {
        return false;
    }
    // Closed here, not at the end of the scope: closing is what removes the probe file again, and
    // it must be gone before the caller goes on. Nothing is written to it.
    probe.reset();
    return true;
}

} // namespace quorila
