#include <gtest/gtest.h>

#include <windows.h>

#include "folders/path_grammar.h"
#include "driver/failure_report.h"
#include "log/update_log.h"
#include "support/test_support.h"

namespace quorila {
namespace {

using test::logMessages;
using test::readFile;

TEST(UpdateLog, CreatesMissingFoldersAndWritesUtf8LinesWithoutBom)
{
    test::TempFolder temp;
    const std::wstring path = temp / L"a\\b c\\ç\\update.log";
    {
        UpdateLog log = openUpdateLog(path);
        EXPECT_FALSE(log.failed);
        logLine(log, L"QuorilaUpdater başlatıldı.");
        // Each line is in the file before logLine returns, while the log is still open.
        EXPECT_EQ(logMessages(path), std::vector<std::wstring>{L"QuorilaUpdater başlatıldı."});
        closeUpdateLog(log);
    }
    const std::string content = readFile(path).value_or("");
    ASSERT_GE(content.size(), 3u);
    EXPECT_NE(content.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_TRUE(test::hasLogFormat(path)) << content;
    EXPECT_NE(content.find("] QuorilaUpdater ba\xC5\x9Flat\xC4\xB1ld\xC4\xB1.\r\n"), std::string::npos);
    EXPECT_EQ(content.find('\n'), content.size() - 1) << "exactly one line";
}

TEST(UpdateLog, AppendsToEarlierRunsAndNeverTruncates)
{
    test::TempFolder temp;
    const std::wstring path = temp / L"update.log";
    const std::string earlier = "earlier content without line end";
    test::writeFile(path, earlier);
    for (int run = 0; run < 2; ++run) {
        UpdateLog log = openUpdateLog(path);
        logLine(log, L"run " + std::to_wstring(run));
        closeUpdateLog(log);
    }
    const std::string content = readFile(path).value_or("");
    EXPECT_EQ(content.substr(0, earlier.size()), earlier);
    // The earlier text is kept as it was; the first new line simply follows it.
    EXPECT_EQ(logMessages(path), (std::vector<std::wstring>{L"run 0", L"run 1"}));
}

TEST(UpdateLog, TwoOpenLogsOfOneFileBothAppend)
{
    // The first updater and its elevated copy hold the same log at the same time.
    test::TempFolder temp;
    const std::wstring path = temp / L"update.log";
    UpdateLog first = openUpdateLog(path);
    UpdateLog second = openUpdateLog(path);
    ASSERT_FALSE(second.failed);
    logLine(first, L"one");
    logLine(second, L"two");
    logLine(first, L"three");
    closeUpdateLog(first);
    closeUpdateLog(second);
    EXPECT_EQ(logMessages(path), (std::vector<std::wstring>{L"one", L"two", L"three"}));
}

TEST(UpdateLog, AnUnopenableLogDropsLinesAndNeverFails)
{
    test::TempFolder temp;
    const std::wstring folder = temp / L"a folder";
    test::makeFolder(folder);
    const std::wstring cases[] = {folder, temp / L"bad<name>.log", temp / L"file\\under-a-file.log"};
    test::writeFile(temp / L"file", "x");
    for (const std::wstring& path : cases) {
        UpdateLog log = openUpdateLog(path);
        EXPECT_TRUE(log.failed);
        logLine(log, L"dropped");
        EXPECT_EQ(reportFailure(log, L"Quorila süreç numarası geçersiz.", ExitCode::InvalidProcessId),
                  ExitCode::InvalidProcessId);
        closeUpdateLog(log);
    }
    EXPECT_TRUE(test::isFolder(folder));
    EXPECT_EQ(test::readFile(temp / L"file"), "x");
}

TEST(FailureReport, LogsTheMessageBehindHataAndReturnsTheCode)
{
    test::TempFolder temp;
    const std::wstring path = temp / L"update.log";
    UpdateLog log = openUpdateLog(path);
    logLine(log, L"before");
    // Under Wine without a display the box returns at once.
    EXPECT_EQ(reportFailure(log, L"Yönetici yetkisine rağmen kurulum klasörüne yazılamıyor.",
                            ExitCode::NotWritableWhileElevated),
              ExitCode::NotWritableWhileElevated);
    closeUpdateLog(log);
    EXPECT_EQ(logMessages(path), (std::vector<std::wstring>{
                                     L"before", L"HATA: Yönetici yetkisine rağmen kurulum klasörüne yazılamıyor."}));
}

} // namespace
} // namespace quorila
