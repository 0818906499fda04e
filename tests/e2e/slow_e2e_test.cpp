// The runs that take minutes: the full one-minute wait, and a file that cannot be copied or
// removed at many places of a larger tree.

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>

#include <windows.h>

#include "folders/path_grammar.h"
#include "support/test_support.h"

namespace quorila::test {
namespace {

TEST(SlowEndToEnd, AnApplicationThatNeverExitsStopsTheUpdateAfterAMinuteWithNothingTouched)
{
    UpdateSetup setup;
    auto application = start(binProgram(L"fake_quorila.exe"), L"--run forever");
    ASSERT_TRUE(application);
    const ULONGLONG begin = GetTickCount64();
    setup.pid = std::to_wstring(application->id);
    EXPECT_EQ(setup.runUpdater(), 14u);
    const ULONGLONG waited = GetTickCount64() - begin;
    EXPECT_GE(waited, 59000u) << "gave up before the minute";
    EXPECT_LT(waited, 90000u) << "waited far beyond the minute";
    EXPECT_FALSE(waitForExit(*application, 0)) << "the application was ended, not waited for";
    TerminateProcess(application->handles.process.get(), 0);
    WaitForSingleObject(application->handles.process.get(), INFINITE);
    EXPECT_EQ(logMessages(setup.log).at(2), L"Quorila 60 saniye içinde kapanmadı.");
    EXPECT_EQ(snapshot(setup.install), setup.oldInstall);
    EXPECT_EQ(snapshot(setup.release), setup.newRelease);
    EXPECT_FALSE(exists(setup.backup));
}

enum class Held { releaseUnreadable, installUndeletable, installUnreadable };

// One run with `file` held; the invariants it broke, each also a test failure.
int lossesWithHeldFile(Held held, const std::wstring& file, const Tree& install, const Tree& release)
{
    UpdateSetup setup;
    writeTree(setup.install, setup.oldInstall = install);
    writeTree(setup.release, setup.newRelease = release);
    const std::wstring path = joinPath(held == Held::releaseUnreadable ? setup.release : setup.install, file);
    std::optional<unsigned long> code;
    {
        const UniqueHandle lock = hold(path, held == Held::installUndeletable ? FILE_SHARE_READ : 0);
        code = setup.runUpdater();
    }
    // An installer file is never removed, so nothing stops the update there.
    const unsigned long expected[] = {17, file.starts_with(L"unins") ? 0u : 16u, 15};
    const Tree now = withoutStarts(snapshot(setup.install));
    int losses = 0;
    for (const auto& [holds, what] : std::initializer_list<std::pair<bool, const char*>>{
             {code == expected[static_cast<int>(held)], "another exit code"},
             {snapshot(setup.release) == release, "the release changed"},
             {held == Held::installUnreadable || snapshot(setup.backup) == install, "the backup is not the installation"},
             {code == 0 ? now == setup.newInstall() : code == 16 ? readFile(path) == install.at(file) : now == install,
              "the install folder is neither the old nor the new version"}}) {
        losses += !holds;
        EXPECT_TRUE(holds) << testing::PrintToString(file) << " held (" << static_cast<int>(held)
                           << "), exit code " << code.value_or(999) << ": " << what;
    }
    return losses;
}

// First, last, nested, top level and next to the installer's files, for each kind of fault.
TEST(SlowEndToEnd, NoFileIsLostWhereverACopyOrARemovalFails)
{
    const UpdateSetup base;
    Tree install = base.oldInstall, release = base.newRelease;
    for (int index = 0; index < 15; ++index) {
        const std::wstring name = std::wstring(index % 3 == 0 ? L"" : index % 3 == 1 ? L"data\\" : L"data\\nested\\")
            + L"dosya " + std::to_wstring(index);
        install[name + L".eski"] = std::string(64u << (index % 9), static_cast<char>('a' + index));
        release[index % 4 ? name + L".eski" : name + L".yeni"] = std::string(32u << (index % 7), 'Z');
    }
    int positions = 0;
    int losses = 0;
    for (const Held held : {Held::releaseUnreadable, Held::installUndeletable, Held::installUnreadable}) {
        int index = 0;
        for (const auto& [file, content] : held == Held::releaseUnreadable ? release : install) {
            if (content != "<dir>" && index++ % (held == Held::installUndeletable ? 1 : 3) == 0) {
                losses += lossesWithHeldFile(held, file, install, release);
                ++positions;
            }
        }
    }
    std::printf("%d fault positions, %d losses\n", positions, losses);
    EXPECT_EQ(losses, 0);
}

} // namespace
} // namespace quorila::test
