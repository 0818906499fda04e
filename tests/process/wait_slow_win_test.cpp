// The full time-out of the wait for the application: one minute.

#include <gtest/gtest.h>

#include <windows.h>

#include "log/update_log.h"
#include "process/wait.h"
#include "support/test_support.h"

namespace quorila {
namespace {

TEST(WaitForApplicationExitSlow, ApplicationThatKeepsRunningIsGivenUpAfterOneMinute)
{
    test::TempFolder temp;
    auto application = test::startProgram(test::binProgram(L"fake_quorila.exe"), L"--run forever");
    ASSERT_TRUE(application);
    {
        UpdateLog log = openUpdateLog(temp / L"update.log");
        EXPECT_FALSE(waitForApplicationExit(application->processId, log));
        closeUpdateLog(log);
    }
    // Only waited for: the application is still running.
    EXPECT_FALSE(test::waitForExit(*application, 0).has_value());
    TerminateProcess(application->handles.process.get(), 1);
    EXPECT_TRUE(test::waitForExit(*application, 30000).has_value());
    EXPECT_EQ(test::logMessages(temp / L"update.log"),
              (std::vector<std::wstring>{L"Quorila sürecinin kapanması bekleniyor...",
                                         L"Quorila 60 saniye içinde kapanmadı."}));
}

} // namespace
} // namespace quorila
