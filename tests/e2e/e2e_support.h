#pragma once

// One update as the Quorila application sets it up: an old installation (version 1 of the fake
// application, its data, the installer's maintenance files), a prepared release (version 2), a
// backup folder and a log path, all below one temporary folder; and the real updater run on them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace quorila::test {

struct StartRecord {
    std::wstring exe;
    std::wstring cwd;
    std::wstring cmd;
    std::wstring version;
};

class UpdateSetup {
public:
    UpdateSetup();

    test::TempFolder temp;
    std::wstring release;
    std::wstring install;
    std::wstring backup;
    std::wstring log;
    std::wstring exeName = L"Quorila.exe";
    Tree oldInstall;
    Tree newRelease;

    // The six options as the application passes them (each argument quoted where needed).
    std::wstring arguments(std::uint32_t processId) const;
    std::wstring argumentsFrom(const std::vector<std::wstring>& tokens) const;
    // Runs QuorilaUpdater.exe with the six options; its exit code (nothing if it could not run).
    std::optional<unsigned long> runUpdater(std::uint32_t processId) const;

    // A process id that no process has (Windows hands out multiples of four, from small numbers
    // up). An ended process's own id is not used for this: under Wine it stays openable for a
    // while after the process has ended, and may be handed out again at once.
    static constexpr std::uint32_t goneProcessId = 0xFFFFFFF0u;
    // The old installation plus what the clearing keeps: the release with the maintenance files.
    Tree expectedNewInstall() const;
};

// The starts of the fake application recorded in `folder` (it writes started.log beside itself),
// waiting up to 20 s for at least `atLeast` of them.
std::vector<StartRecord> startRecords(const std::wstring& folder, std::size_t atLeast);
// A tree without the fake application's start records.
Tree withoutStartRecords(Tree tree);

} // namespace quorila::test

// ---- Generated trees for the fault and bad-input sweeps ----
namespace quorila::test {

// Puts `oldInstall` and `newRelease` in place of the setup's own trees, on disk and in the
// setup's oldInstall and newRelease.
void useTrees(UpdateSetup& setup, const Tree& oldInstall, const Tree& newRelease);

} // namespace quorila::test
