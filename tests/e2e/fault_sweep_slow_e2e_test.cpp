// A file that cannot be copied or removed, at many places in the tree: whatever step it stops,
// no file of the old installation and none of the release is lost.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/e2e_support.h"
#include "folders/path_grammar.h"

namespace quorila::test {
namespace {

// The installation (version 1) and the release (version 2) of the sweep: about 45 files in eight
// nested folders, the installer's maintenance files in the installation. Most names are in both; the
// release drops a few and brings a few new ones.
struct SweepTrees {
    Tree install;
    Tree release;
};

SweepTrees sweepTrees(const std::string& application)
{
    const std::vector<std::wstring> folders = {L"data",        L"data\\dil",  L"data\\tema", L"data\\tema\\koyu",
                                               L"eklentiler",  L"eklentiler\\pdf", L"lib", L"lib\\çalışma zamanı"};
    SweepTrees trees;
    trees.install = {{L"Quorila.exe", application}, {L"version.txt", "1"}, {L"unins000.exe", "uninstaller"},
                     {L"unins000.dat", "uninstall data"}};
    trees.release = {{L"Quorila.exe", application}, {L"version.txt", "2"}};
    for (const auto& folder : folders) {
        trees.install[folder] = "<dir>";
        trees.release[folder] = "<dir>";
    }
    for (int index = 0; index < 44; ++index) {
        const std::wstring name = joinPath(folders[static_cast<std::size_t>(index) % folders.size()],
                                           L"dosya " + std::to_wstring(index) + L".dat");
        // Sizes from a few bytes to a few hundred kilobytes.
        const std::size_t size = 16u << (index % 9);
        if (index % 11 != 3) {
            trees.install[name] = std::string(size, static_cast<char>('a' + index % 26)) + " v1";
        }
        if (index % 13 != 5) {
            trees.release[name] = std::string(size, static_cast<char>('A' + index % 26)) + " v2";
        }
    }
    return trees;
}

std::vector<std::wstring> files(const Tree& tree)
{
    std::vector<std::wstring> result;
    for (const auto& [path, content] : tree) {
        if (content != "<dir>") {
            result.push_back(path);
        }
    }
    return result;
}

// `count` positions spread evenly over `all`, with `alsoTake` among them when it is not yet.
std::vector<std::wstring> spread(const std::vector<std::wstring>& all, std::size_t count, const std::wstring& alsoTake)
{
    std::vector<std::wstring> chosen;
    for (std::size_t index = 0; index < count; ++index) {
        chosen.push_back(all[index * (all.size() - 1) / (count - 1)]);
    }
    if (!alsoTake.empty() && std::find(chosen.begin(), chosen.end(), alsoTake) == chosen.end()) {
        chosen[count / 2] = alsoTake;
    }
    return chosen;
}

enum class Held {
    releaseUnreadable,     // share mode 0 on a release file: the install copy stops there
    installUndeletable,    // FILE_SHARE_READ on an install file: the clearing stops there
    installUnreadable,     // share mode 0 on an install file: the backup stops there
};

const char* describe(Held held)
{
    switch (held) {
    case Held::releaseUnreadable:
        return "release file unreadable";
    case Held::installUndeletable:
        return "install file undeletable";
    case Held::installUnreadable:
        return "install file unreadable";
    }
    return "?";
}

// Runs one update with `file` held; the number of invariants it broke (each also a test failure).
int runWithHeldFile(Held held, const std::wstring& file)
{
    UpdateSetup setup;
    const SweepTrees trees = sweepTrees(setup.oldInstall.at(L"Quorila.exe"));
    useTrees(setup, trees.install, trees.release);
    const std::wstring heldPath = joinPath(held == Held::releaseUnreadable ? setup.release : setup.install, file);
    const bool maintenanceFile = file.starts_with(L"unins");

    FileLock lock(heldPath, held == Held::installUndeletable ? 1 : 0);
    if (!lock.held()) {
        return 1; // a position that could not be tried counts against the sweep (FileLock said why)
    }
    const auto code = setup.runUpdater(UpdateSetup::goneProcessId);
    lock.release();

    int losses = 0;
    auto check = [&](bool holds, const char* invariant) {
        if (!holds) {
            ++losses;
            ADD_FAILURE() << describe(held) << ", " << testing::PrintToString(file) << ", exit code "
                          << (code ? std::to_string(*code) : "none") << ": " << invariant;
        }
    };

    check(snapshot(setup.release) == setup.newRelease, "the release folder changed");
    const Tree install = withoutStartRecords(snapshot(setup.install));
    switch (held) {
    case Held::releaseUnreadable:
        check(code == 17u, "not rolled back (17)");
        check(snapshot(setup.backup) == setup.oldInstall, "the backup is not the old installation");
        check(install == setup.oldInstall, "the installation was not restored");
        break;
    case Held::installUndeletable:
        // A maintenance file is kept by the clearing and never replaced: nothing stops the update.
        // Otherwise the clearing stops there, and so does the rollback's: 16, and the backup holds
        // every file of the old installation.
        check(code == (maintenanceFile ? 0u : 16u), "not the expected exit code (0 or 16)");
        check(snapshot(setup.backup) == setup.oldInstall, "the backup is not the old installation");
        check(readFile(heldPath) == setup.oldInstall.at(file), "the held file changed");
        if (code == 0u) {
            check(install == setup.expectedNewInstall(), "the new installation is not the release");
        }
        break;
    case Held::installUnreadable:
        check(code == 15u, "the backup did not fail (15)");
        check(install == setup.oldInstall, "the installation changed although its backup failed");
        break;
    }
    return losses;
}

TEST(FaultSweepSlow, NoFileIsLostWhereverACopyOrARemovalFails)
{
    const std::string application = readFile(binProgram(L"fake_quorila.exe")).value_or("");
    ASSERT_FALSE(application.empty());
    const SweepTrees trees = sweepTrees(application);
    ASSERT_GE(files(trees.install).size(), 40u);

    // Every file of the release and of the installation once; the backup step at a dozen places.
    const std::vector<std::pair<Held, std::vector<std::wstring>>> sweeps = {
        {Held::releaseUnreadable, files(trees.release)},
        {Held::installUndeletable, files(trees.install)},
        {Held::installUnreadable, spread(files(trees.install), 12, L"unins000.exe")},
    };
    int positions = 0;
    int losses = 0;
    for (const auto& [held, positionsOfKind] : sweeps) {
        for (const auto& file : positionsOfKind) {
            losses += runWithHeldFile(held, file);
            ++positions;
        }
    }
    std::printf("%d fault positions, %d losses\n", positions, losses);
    EXPECT_EQ(losses, 0);
}

} // namespace
} // namespace quorila::test
