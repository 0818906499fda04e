#pragma once

#include <cstdint>
#include <string>

namespace quorila {

// ".quorila_updater_write_" + process id + ".tmp".
std::wstring probeFileName(std::uint32_t processId);

// True when a delete-on-close probe file could be created in the folder; none is left behind.
bool canWriteFolder(const std::wstring& folder);

} // namespace quorila
