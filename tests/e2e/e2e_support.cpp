#include "e2e/e2e_support.h"

#include <windows.h>

#include "folders/path_grammar.h"
#include "process/relaunch.h"

namespace quorila::test {

namespace {

constexpr wchar_t startRecordFile[] = L"started.log";

std::string fakeApplication()
{
    static const std::string image = readFile(binProgram(L"fake_quorila.exe")).value_or("");
    return image;
}

std::wstring field(const std::wstring& line, const std::wstring& name)
{
    const std::size_t start = line.find(name + L"=");
    if (start == std::wstring::npos) {
        return {};
    }
    const std::size_t valueStart = start + name.size() + 1;
    const std::size_t end = line.find(L'\t', valueStart);
    return line.substr(valueStart, end == std::wstring::npos ? std::wstring::npos : end - valueStart);
}

} // namespace

UpdateSetup::UpdateSetup()
    : release(temp / L"release 2"), install(temp / L"Program Files\\Quorila"), backup(temp / L"backup"),
      log(temp / L"logs\\güncelleme.log")
{
    EXPECT_FALSE(fakeApplication().empty()) << "fake_quorila.exe is missing";
    oldInstall = {
        {L"Quorila.exe", fakeApplication()},
        {L"version.txt", "1"},
        {L"data", "<dir>"},
        {L"data\\settings.ini", "old settings"},
        {L"data\\only-in-old.txt", "old only"},
        {L"data\\nested", "<dir>"},
        {L"data\\nested\\şema.json", "{\"v\":1}"},
        {L"plugins", "<dir>"},
        {L"plugins\\old-plugin.dll", "old plugin"},
        {L"unins000.exe", "uninstaller"},
        {L"unins000.dat", "uninstall data"},
    };
    newRelease = {
        {L"Quorila.exe", fakeApplication()},
        {L"version.txt", "2"},
        {L"data", "<dir>"},
        {L"data\\settings.ini", "new settings"},
        {L"data\\nested", "<dir>"},
        {L"data\\nested\\şema.json", "{\"v\":2}"},
        {L"data\\empty", "<dir>"},
        {L"new feature.txt", "new"},
    };
    writeTree(install, oldInstall);
    writeTree(release, newRelease);
}

std::wstring UpdateSetup::argumentsFrom(const std::vector<std::wstring>& tokens) const
{
    std::vector<std::wstring> all{L"QuorilaUpdater.exe"};
    all.insert(all.end(), tokens.begin(), tokens.end());
    return joinRelaunchArguments(all);
}

std::wstring UpdateSetup::arguments(std::uint32_t processId) const
{
    return argumentsFrom({L"--pid", std::to_wstring(processId), L"--source", release, L"--target", install,
                          L"--backup", backup, L"--exe", exeName, L"--log", log});
}

std::optional<unsigned long> UpdateSetup::runUpdater(std::uint32_t processId) const
{
    return runProgram(binProgram(L"QuorilaUpdater.exe"), arguments(processId));
}

Tree UpdateSetup::expectedNewInstall() const
{
    Tree expected = newRelease;
    expected[L"unins000.exe"] = oldInstall.at(L"unins000.exe");
    expected[L"unins000.dat"] = oldInstall.at(L"unins000.dat");
    return expected;
}

std::vector<StartRecord> startRecords(const std::wstring& folder, std::size_t atLeast)
{
    std::vector<StartRecord> records;
    const std::wstring path = joinPath(folder, startRecordFile);
    for (int attempt = 0; attempt < 200; ++attempt) {
        records.clear();
        const std::wstring content = fromUtf8(readFile(path).value_or(""));
        std::size_t start = 0;
        while (start < content.size()) {
            const std::size_t end = content.find(L"\r\n", start);
            if (end == std::wstring::npos) {
                break; // a line still being written
            }
            const std::wstring line = content.substr(start, end - start);
            records.push_back({field(line, L"exe"), field(line, L"cwd"), field(line, L"cmd"), field(line, L"version")});
            start = end + 2;
        }
        if (records.size() >= atLeast) {
            break;
        }
        Sleep(100);
    }
    return records;
}

Tree withoutStartRecords(Tree tree)
{
    tree.erase(startRecordFile);
    return tree;
}

} // namespace quorila::test

// ---- Generated trees for the fault and bad-input sweeps ----
#include "folders/install_clearing.h"

namespace quorila::test {

void useTrees(UpdateSetup& setup, const Tree& oldInstall, const Tree& newRelease)
{
    std::error_code error;
    removeTree(setup.install, error);
    EXPECT_FALSE(error) << "cannot remove the setup's installation";
    removeTree(setup.release, error);
    EXPECT_FALSE(error) << "cannot remove the setup's release";
    writeTree(setup.install, oldInstall);
    writeTree(setup.release, newRelease);
    setup.oldInstall = oldInstall;
    setup.newRelease = newRelease;
}

} // namespace quorila::test
