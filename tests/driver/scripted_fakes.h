#pragma once

// Scripted stand-ins for everything the transaction and the preflight checks call, linked in place
// of the real operations. Each call is written to one journal, so a test sees the order of
// operations, log lines and failure reports together.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorila::fake {

struct Script {
    // transaction
    bool lockFree = true;
    bool applicationExits = true;
    bool foldersStillSafe = true;      // the check after the wait
    std::vector<bool> stillFolder;     // isStillFolder, one per call, in order; true once used up
    bool oldBackupRemoved = true;
    std::vector<bool> clearResults; // one per call, in order; true once used up
    std::vector<bool> copyResults;  // likewise
    bool newExecutableVerifies = true;
    bool restartSucceeds = true;
    // preflight
    bool foldersSafe = true;
    bool installWritable = true;
    bool elevated = false;
    bool relaunchSucceeds = true;
    std::optional<std::uint32_t> processId = 4242u;
    bool releaseComplete = true;
};

// The journal entry of a failure report: its code (the message is the code's own, see exit_code.h).
std::wstring fail(int code);

// The script of the running test and the journal of what was called; reset() starts afresh.
Script& script();
std::vector<std::wstring>& journal();
void reset();

} // namespace quorila::fake
