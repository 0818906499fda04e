#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <windows.h>

#include "e2e/e2e_support.h"
#include "folders/path_grammar.h"
#include "support/links.h"

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
    std::wstring log;             // empty: the setup's own, outside the folders
    std::wstring program;         // empty: the updater where the build put it
    bool logged = true;           // false: a log the refusal may not even open
};

// The path with its last element in its short (8.3) form.
std::wstring shortPath(const std::wstring& path)
{
    std::wstring buffer(32768, L'\0');
    buffer.resize(GetShortPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size())));
    EXPECT_NE(fileName(buffer), fileName(path)) << "no short name";
    return buffer;
}

// Every combination that would destroy data, or that another reader of a path would take for
// another folder, ends with 11 before anything is touched (no crash either). Drive roots use a
// letter that this prefix does not map: a faulty build could not reach a real root.
TEST(PreflightEndToEnd, UnsafeFoldersAreRefusedAndNothingIsTouched)
{
    UpdateSetup setup;
    const std::wstring& i = setup.install;
    const std::wstring& t = setup.temp.path();
    writeFile(t + L"\\a-file", "not a folder");
    const std::wstring insideCopy = joinPath(i, L"QuorilaUpdater.exe");
    const std::wstring releaseCopy = joinPath(setup.release, L"QuorilaUpdater.exe");
    ASSERT_TRUE(CopyFileW(binProgram(L"QuorilaUpdater.exe").c_str(), insideCopy.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(binProgram(L"QuorilaUpdater.exe").c_str(), releaseCopy.c_str(), FALSE));
    setup.oldInstall = snapshot(i);
    setup.newRelease = snapshot(setup.release);
    Link toInstall(i, t + L"\\to-install");
    ASSERT_TRUE(toInstall.made());
    const std::wstring r = setup.release;
    const std::wstring b = setup.backup;
    const std::vector<Refusal> refusals = {
        {"install folder is a drive root", r, L"Q:\\", b},
        {"backup folder is a drive root", r, i, L"Q:\\"},
        {"release folder is a drive root", L"Q:/", i, b},
        {"release equals install with other separators", withForwardSlashes(i), i, b},
        {"backup equals install with doubled separators", r, i, t + L"\\\\Program Files//Quorila"},
        {"backup equals install in other letter case", r, i, upperCase(i)},
        {"backup inside install", r, i, joinPath(i, L"backup")},
        {"backup inside install by its short name", r, i, shortPath(t + L"\\Program Files") + L"\\Quorila\\backup"},
        {"install inside backup", r, i, t, {}, {}, false},
        {"release inside install", joinPath(i, L"data"), i, b},
        {"install is a bare name", r, L"Quorila", b},
        {"backup is a device-prefixed root", r, i, L"\\\\?\\Q:\\"},
        {"install is the top folder of a share", r, L"\\\\server\\share", b},
        {"backup is the install folder behind \\??\\", r, i, L"\\??\\" + i, {}, {}, false},
        {"backup with .. behind \\??\\", r, i, L"\\??\\" + i + L"\\x\\..", {}, {}, false},
        {"log with . behind \\??\\", r, i, b, L"\\??\\" + t + L"\\l\\.\\update.log", {}, false},
        {"log with .. behind \\\\?\\", r, i, b, L"\\\\?\\" + t + L"\\l\\x\\..\\update.log", {}, false},
        {"log in the install folder, other case", r, i, b, upperCase(i) + L"\\update.log", {}, false},
        {"log in the install folder, forward slashes", r, i, b, withForwardSlashes(i) + L"/update.log", {}, false},
        {"log in the install folder, trailing dot", r, i, b, i + L".\\update.log", {}, false},
        {"log in the install folder through a link", r, i, b, toInstall.path() + L"\\update.log", {}, false},
        {"log in the backup folder", r, i, b, b + L"\\update.log", {}, false},
        {"install is the parent of the installation", r, t + L"\\Program Files", b},
        {"backup is a file", r, i, t + L"\\a-file"},
        {"the updater runs from the install folder", r, i, b, {}, insideCopy},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        const std::wstring log = refusal.log.empty() ? setup.log : refusal.log;
        DeleteFileW(setup.log.c_str());
        const auto code = runProgram(refusal.program.empty() ? binProgram(L"QuorilaUpdater.exe") : refusal.program,
                                     setup.argumentsFrom({L"--pid", L"4242", L"--source", refusal.release, L"--target",
                                                          refusal.install, L"--backup", refusal.backup, L"--exe",
                                                          setup.exeName, L"--log", log}));
        EXPECT_EQ(code, 11u);
        const std::vector<std::wstring> refused = {started, L"HATA: Güncelleme klasörleri güvenli değil."};
        EXPECT_EQ(logMessages(setup.log), refusal.logged ? refused : std::vector<std::wstring>());
        EXPECT_EQ(snapshot(i), setup.oldInstall);
        EXPECT_EQ(snapshot(setup.release), setup.newRelease);
        EXPECT_FALSE(exists(setup.backup));
        EXPECT_EQ(readFile(t + L"\\a-file"), "not a folder");
        EXPECT_FALSE(holdsProbeFile(t));
    }
    // Started from the release folder, where it ships, the same updater goes ahead: with the
    // install folder in its literal form, after a first --target that the second one replaces.
    writeFile(t + L"\\decoy\\Quorila.exe", "another installation");
    EXPECT_EQ(runProgram(releaseCopy, setup.argumentsFrom({L"--pid", L"4242", L"--source", r, L"--target",
                                                           t + L"\\decoy", L"--backup", b, L"--exe", setup.exeName,
                                                           L"--log", setup.log, L"--target", L"\\\\?\\" + i})),
              0u);
    EXPECT_EQ(withoutStartRecords(snapshot(i)), setup.expectedNewInstall());
    EXPECT_EQ(snapshot(b), setup.oldInstall);
    EXPECT_EQ(readFile(t + L"\\decoy\\Quorila.exe"), "another installation");
}

struct Stop {
    const char* name;
    std::wstring pid;
    bool removeData;
    bool installMissing;
    unsigned long code;
    std::wstring failure;
    std::wstring exe; // empty: the setup's
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
        // The install folder holds no such file: no installation of that application.
        {"an --exe as long as a command line allows", L"4242", false, false, 11,
         L"HATA: Güncelleme klasörleri güvenli değil.", std::wstring(30000, L'q')},
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
                                                          stop.exe.empty() ? setup.exeName : stop.exe, L"--log",
                                                          setup.log}));
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
