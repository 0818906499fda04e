#include "process/write_access.h"

namespace quorila {

std::wstring probeFileName(std::uint32_t processId)
{
    return L".quorila_updater_write_" + std::to_wstring(processId) + L".tmp";
}

} // namespace quorila
