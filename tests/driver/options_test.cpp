#include <gtest/gtest.h>

#include "driver/exit_code.h"
#include "base/options.h"

namespace quorila {
namespace {

const std::vector<std::wstring> allSix = {L"--pid", L"42", L"--source", L"C:\\r", L"--target", L"C:\\i",
                                          L"--backup", L"C:\\b", L"--exe", L"Quorila.exe", L"--log", L"C:\\l.txt"};

std::vector<std::wstring> withProgram(std::vector<std::wstring> tokens)
{
    tokens.insert(tokens.begin(), L"QuorilaUpdater.exe");
    return tokens;
}

TEST(OptionPairing, AllSixOptionsFillTheirFields)
{
    const UpdateOptions options = readUpdateOptions(pairOptionTokens(withProgram(allSix)));
    EXPECT_EQ(options.pidText, L"42");
    EXPECT_EQ(options.releaseFolder, L"C:\\r");
    EXPECT_EQ(options.installFolder, L"C:\\i");
    EXPECT_EQ(options.backupFolder, L"C:\\b");
    EXPECT_EQ(options.exeName, L"Quorila.exe");
    EXPECT_EQ(options.logPath, L"C:\\l.txt");
    EXPECT_TRUE(hasAllOptions(options));
}

struct PairingCase {
    const char* name;
    std::vector<std::wstring> tokens; // after the program path
    std::wstring pid;                 // expected --pid value
    std::wstring log;                 // expected --log value
    bool complete;
};

TEST(OptionPairing, TokensArePairedAsTheApplicationPassesThem)
{
    auto with = [](std::vector<std::wstring> extra, bool atFront = false) {
        std::vector<std::wstring> tokens = allSix;
        tokens.insert(atFront ? tokens.begin() : tokens.end(), extra.begin(), extra.end());
        return tokens;
    };
    auto without = [](std::size_t index) {
        std::vector<std::wstring> tokens = allSix;
        tokens.erase(tokens.begin() + static_cast<long>(index), tokens.begin() + static_cast<long>(index) + 2);
        return tokens;
    };
    const std::vector<PairingCase> cases = {
        {"no arguments", {}, L"", L"", false},
        {"later occurrence wins", with({L"--pid", L"7"}), L"7", L"C:\\l.txt", true},
        {"capitalised key is another key", [&] { auto t = allSix; t[0] = L"--PID"; return t; }(), L"", L"C:\\l.txt",
         false},
        {"one dash skips the pair", [&] { auto t = allSix; t[0] = L"-pid"; return t; }(), L"", L"C:\\l.txt", false},
        {"unknown option among the six is ignored", with({L"--foo", L"bar"}, true), L"42", L"C:\\l.txt", true},
        {"odd token count drops the last token", [&] { auto t = without(10); t.push_back(L"--log"); return t; }(),
         L"42", L"", false},
        {"empty value counts as missing", [&] { auto t = allSix; t[9] = L""; return t; }(), L"42", L"C:\\l.txt",
         false},
        {"value left out shifts the later pairs",
         [&] { auto t = allSix; t.erase(t.begin() + 1); return t; }(), L"--source", L"", false},
        {"value beginning with -- is still a value", [&] { auto t = allSix; t[1] = L"--x"; return t; }(), L"--x",
         L"C:\\l.txt", true},
        {"a key of just two dashes is stored, never read", with({L"--", L"v"}, true), L"42", L"C:\\l.txt", true},
        {"a single dash token is not a key", with({L"-", L"--pid"}, true), L"42", L"C:\\l.txt", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const OptionMap map = pairOptionTokens(withProgram(c.tokens));
        const UpdateOptions options = readUpdateOptions(map);
        EXPECT_EQ(options.pidText, c.pid);
        EXPECT_EQ(options.logPath, c.log);
        EXPECT_EQ(hasAllOptions(options), c.complete);
    }
}

TEST(OptionPairing, TheProgramPathIsNeverAKey)
{
    const OptionMap map = pairOptionTokens({L"--pid", L"--source", L"r"});
    EXPECT_EQ(optionValue(map, L"--pid"), L"");
    EXPECT_EQ(optionValue(map, L"--source"), L"r");
}

TEST(OptionPairing, ValuesAreKeptVerbatim)
{
    const OptionMap map = pairOptionTokens(withProgram({L"--target", L"  C:/a\\b\\ ", L"--pid", L" 42"}));
    EXPECT_EQ(optionValue(map, L"--target"), L"  C:/a\\b\\ ");
    EXPECT_EQ(optionValue(map, L"--pid"), L" 42");
    EXPECT_EQ(optionValue(map, L"--Target"), L"");
}

TEST(ExitCodes, NumbersAndMessagesAreFixed)
{
    struct Row {
        ExitCode code;
        int number;
        std::wstring_view message;
    };
    const Row rows[] = {
        {ExitCode::Success, 0, L""},
        {ExitCode::MissingParameters, 10, L"Güncelleme parametreleri eksik."},
        {ExitCode::UnsafeFolders, 11, L"Güncelleme klasörleri güvenli değil."},
        {ExitCode::InvalidProcessId, 12, L"Quorila süreç numarası geçersiz."},
        {ExitCode::IncompleteReleasePackage, 13, L"Hazırlanan release paketi eksik."},
        {ExitCode::ApplicationNotClosed, 14, L"Quorila kapatılamadığı için güncelleme uygulanmadı."},
        {ExitCode::BackupFailed, 15, L"Mevcut sürüm yedeklenemedi. Güncelleme yapılmadı."},
        {ExitCode::InstallFailedRollbackFailed, 16,
         L"Güncelleme başarısız ve otomatik geri alma tamamlanamadı. Yedek klasör korunmuştur."},
        {ExitCode::InstallFailedRolledBack, 17, L"Güncelleme uygulanamadı; eski sürüm geri yüklendi."},
        {ExitCode::VerificationFailedRollbackFailed, 18, L"Yeni sürüm doğrulanamadı ve rollback tamamlanamadı."},
        {ExitCode::VerificationFailedRolledBack, 19, L"Yeni sürüm doğrulanamadı; eski sürüm geri yüklendi."},
        {ExitCode::RestartFailed, 20,
         L"Güncelleme tamamlandı ancak Quorila otomatik açılamadı. Uygulamayı kısayoldan yeniden açabilirsiniz."},
        {ExitCode::ElevationFailed, 21, L"Güncelleme için Windows yönetici izni alınamadı. Quorila değiştirilmedi."},
        {ExitCode::NotWritableWhileElevated, 22, L"Yönetici yetkisine rağmen kurulum klasörüne yazılamıyor."},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(static_cast<int>(row.code), row.number);
        EXPECT_EQ(exitCodeMessage(row.code), row.message) << row.number;
    }
}

} // namespace
} // namespace quorila
