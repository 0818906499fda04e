#include <gtest/gtest.h>

#include <windows.h>

#include "e2e/e2e_support.h"
#include "folders/path_grammar.h"

namespace quorila::test {
namespace {

TEST(UpdateEndToEndSlow, AnApplicationThatNeverExitsStopsTheUpdateBeforeAnythingIsTouched)
{
    UpdateSetup setup;
    auto application = startProgram(binProgram(L"fake_quorila.exe"), L"--run forever");
    ASSERT_TRUE(application.has_value());

    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(setup.runUpdater(application->processId), 14u);
    const ULONGLONG waited = GetTickCount64() - start;
    // The one-minute limit: not given up before it, and not waited for much longer.
    EXPECT_GE(waited, 59000u);
    EXPECT_LT(waited, 90000u);
    // Only waited for: the application still runs.
    EXPECT_FALSE(waitForExit(*application, 0).has_value());
    TerminateProcess(application->handles.process.get(), 0);
    WaitForSingleObject(application->handles.process.get(), INFINITE);

    EXPECT_EQ(logMessages(setup.log),
              (std::vector<std::wstring>{L"QuorilaUpdater başlatıldı.", L"Quorila sürecinin kapanması bekleniyor...",
                                         L"Quorila 60 saniye içinde kapanmadı.",
                                         L"HATA: Quorila kapatılamadığı için güncelleme uygulanmadı."}));
    EXPECT_EQ(snapshot(setup.install), setup.oldInstall);
    EXPECT_EQ(snapshot(setup.release), setup.newRelease);
    EXPECT_FALSE(exists(setup.backup));
}

} // namespace
} // namespace quorila::test
