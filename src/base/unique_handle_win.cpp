#include "base/unique_handle.h"

#include <windows.h>

namespace quorila {

void closeHandle(void* handle) noexcept { CloseHandle(handle); }
void closeFindHandle(void* handle) noexcept { FindClose(handle); }
void freeLocal(void* memory) noexcept { LocalFree(memory); }

} // namespace quorila
