#include "process/unique_handle.h"

#include <windows.h>

namespace quorila {

void UniqueHandle::reset(void* handle) noexcept
{
    if (valid()) {
        CloseHandle(handle_);
    }
    handle_ = handle;
}

} // namespace quorila
