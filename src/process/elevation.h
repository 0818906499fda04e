#pragma once

namespace quorila {

// True when this process's token reports elevation. Silent.
bool isProcessElevated();

} // namespace quorila
