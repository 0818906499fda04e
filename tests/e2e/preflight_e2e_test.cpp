#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <windows.h>

#include "e2e/e2e_support.h"
#include "folders/path_grammar.h"

namespace quorila::test {
namespace {

const std::wstring started = L"QuorilaUpdater başlatıldı.";

// True when some entry anywhere below `root` is a write probe of the updater.
bool holdsProbeFile(const std::wstring& root)
{
    const Tree tree = snapshot(root);
    return std::any_of(tree.begin(), tree.end(), [](const auto& entry) {
        return std::wstring(fileName(entry.first)).starts_with(L".quorila_updater_write_");
    });
}

std::wstring upperCase(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return text;
}

std::wstring withForwardSlashes(std::wstring text)
{
    std::replace(text.begin(), text.end(), L'\\', L'/');
    return text;
}

struct Refusal {
    const char* name;
    std::wstring release;
    std::wstring install;
    std::wstring backup;
};

// Every combination that would destroy data ends with 11 before anything is touched. Drive
// roots use a letter that this prefix does not map: a faulty build could not reach a real root.
TEST(PreflightEndToEnd, UnsafeFoldersAreRefusedAndNothingIsTouched)
{
    UpdateSetup setup;
    const std::vector<Refusal> refusals = {
        {"install folder is a drive root", setup.release, L"Q:\\", setup.backup},
        {"backup folder is a drive root", setup.release, setup.install, L"Q:\\"},
        {"release folder is a drive root", L"Q:/", setup.install, setup.backup},
        {"release equals install with other separators", withForwardSlashes(setup.install), setup.install,
         setup.backup},
        {"backup equals install with doubled separators", setup.release, setup.install,
         setup.temp.path() + L"\\\\Program Files//Quorila"},
        {"backup equals install in other letter case", setup.release, setup.install, upperCase(setup.install)},
        {"backup inside install", setup.release, setup.install, joinPath(setup.install, L"backup")},
        {"install inside backup", setup.release, setup.install, setup.temp.path()},
        {"release inside install", joinPath(setup.install, L"data"), setup.install, setup.backup},
        {"install is a bare name", setup.release, L"Quorila", setup.backup},
        {"backup is a device-prefixed root", setup.release, setup.install, L"\\\\?\\Q:\\"},
        {"install is the top folder of a share", setup.release, L"\\\\server\\share", setup.backup},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        DeleteFileW(setup.log.c_str());
        const auto code = runProgram(binProgram(L"QuorilaUpdater.exe"),
                                     setup.argumentsFrom({L"--pid", L"4242", L"--source", refusal.release, L"--target",
                                                          refusal.install, L"--backup", refusal.backup, L"--exe",
                                                          setup.exeName, L"--log", setup.log}));
        EXPECT_EQ(code, 11u);
        EXPECT_EQ(logMessages(setup.log),
                  (std::vector<std::wstring>{started, L"HATA: Güncelleme klasörleri güvenli değil."}));
        EXPECT_EQ(snapshot(setup.install), setup.oldInstall);
        EXPECT_EQ(snapshot(setup.release), setup.newRelease);
        EXPECT_FALSE(exists(setup.backup));
        EXPECT_FALSE(holdsProbeFile(setup.temp.path()));
    }
}

struct Stop {
    const char* name;
    std::wstring pid;
    bool removeData;
    bool installMissing;
    unsigned long code;
    std::wstring failure;
};

TEST(PreflightEndToEnd, LaterChecksEndTheRunWithTheirCodesAndLeaveNoProbe)
{
    const std::vector<Stop> stops = {
        // Wine reports every process as elevated, so an unwritable folder ends with 22 here.
        {"install folder missing", L"4242", false, true, 22,
         L"HATA: Yönetici yetkisine rağmen kurulum klasörüne yazılamıyor."},
        {"process id with a letter", L"42a", false, false, 12, L"HATA: Quorila süreç numarası geçersiz."},
        {"process id zero", L"0", false, false, 12, L"HATA: Quorila süreç numarası geçersiz."},
        {"release without its data folder", L"4242", true, false, 13, L"HATA: Hazırlanan release paketi eksik."},
    };
    for (const Stop& stop : stops) {
        SCOPED_TRACE(stop.name);
        UpdateSetup setup;
        if (stop.removeData) {
            std::error_code ignored;
            std::filesystem::remove_all(joinPath(setup.release, L"data"), ignored);
            setup.newRelease = snapshot(setup.release);
        }
        if (stop.installMissing) {
            setup.install = setup.temp / L"not installed";
            setup.oldInstall.clear();
        }
        const auto code = runProgram(binProgram(L"QuorilaUpdater.exe"),
                                     setup.argumentsFrom({L"--pid", stop.pid, L"--source", setup.release, L"--target",
                                                          setup.install, L"--backup", setup.backup, L"--exe",
                                                          setup.exeName, L"--log", setup.log}));
        EXPECT_EQ(code, stop.code);
        EXPECT_EQ(logMessages(setup.log), (std::vector<std::wstring>{started, stop.failure}));
        EXPECT_EQ(snapshot(setup.install), setup.oldInstall);
        EXPECT_EQ(exists(setup.install), !stop.installMissing);
        EXPECT_EQ(snapshot(setup.release), setup.newRelease);
        EXPECT_FALSE(exists(setup.backup));
        EXPECT_FALSE(holdsProbeFile(setup.temp.path()));
    }
}

} // namespace
} // namespace quorila::test
