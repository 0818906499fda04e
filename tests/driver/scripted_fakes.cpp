#include "driver/scripted_fakes.h"

#include <system_error>

#include "driver/release_package.h"
#include "folders/folder_safety.h"
#include "folders/install_clearing.h"
#include "folders/tree_copy.h"
#include "driver/failure_report.h"
#include "log/update_log.h"
#include "process/install_lock.h"
#include "process/relaunch.h"
#include "process/restart.h"
#include "process/wait.h"
#include "process/write_access.h"

namespace quorila {

namespace fake {
namespace {
struct State {
    Script script;
    std::vector<std::wstring> journal;
    std::size_t clearCalls = 0;
    std::size_t copyCalls = 0;
    std::size_t stillFolderCalls = 0;
};
State& state()
{
    static State instance;
    return instance;
}
bool next(const std::vector<bool>& results, std::size_t& calls)
{
    const std::size_t index = calls++;
    return index < results.size() ? results[index] : true;
}
std::wstring yesNo(bool value) { return value ? L"true" : L"false"; }
} // namespace

std::wstring fail(int code)
{
    return L"fail " + std::to_wstring(code);
}

Script& script() { return state().script; }
std::vector<std::wstring>& journal() { return state().journal; }
void reset() { state() = State{}; }

} // namespace fake

using fake::journal;
using fake::script;

void closeHandle(void*) noexcept {} // the fakes hand out no real handles

void logLine(UpdateLog&, std::wstring_view message) { journal().push_back(L"log " + std::wstring(message)); }

ExitCode reportFailure(UpdateLog&, std::wstring_view, ExitCode code)
{
    journal().push_back(fake::fail(static_cast<int>(code)));
    return code;
}

UniqueHandle lockInstallFolder(const FileId& install)
{
    journal().push_back(L"lock " + std::to_wstring(install.index));
    return UniqueHandle(script().lockFree ? reinterpret_cast<void*>(1) : nullptr);
}

std::wstring ownExecutablePath() { return L"U:\\QuorilaUpdater.exe"; }

bool waitForApplicationExit(std::uint32_t processId, UpdateLog&)
{
    journal().push_back(L"wait " + std::to_wstring(processId));
    return script().applicationExits;
}

bool removeWholeFolder(const std::wstring& folder, const std::optional<FileId>&, UpdateLog&)
{
    journal().push_back(L"remove " + folder + L" = " + fake::yesNo(script().oldBackupRemoved));
    return script().oldBackupRemoved;
}

bool checkFolderSafetyAgain(const UpdateOptions& options, const std::wstring& updaterPath, const CheckedFolders& before)
{
    journal().push_back(L"safety again " + options.installFolder + L" " + updaterPath + L" " + before.install);
    return script().foldersStillSafe;
}

bool isStillFolder(const std::wstring& folder, const std::wstring& checked)
{
    const bool result = fake::next(script().stillFolder, fake::state().stillFolderCalls);
    journal().push_back(L"still " + folder + L" " + checked + L" = " + fake::yesNo(result));
    return result;
}

bool copyTree(const std::wstring& source, const std::wstring& destination, LinksInSource links, UpdateLog&)
{
    const bool result = fake::next(script().copyResults, fake::state().copyCalls);
    journal().push_back(L"copyTree " + source + L" -> " + destination
                        + (links == LinksInSource::refused ? L" refusing links = " : L" = ") + fake::yesNo(result));
    return result;
}

bool clearInstallFolder(const std::wstring& installFolder, const FileId& checkedInstall, UpdateLog&)
{
    const bool result = fake::next(script().clearResults, fake::state().clearCalls);
    journal().push_back(L"clear " + installFolder + L" " + std::to_wstring(checkedInstall.index) + L" = "
                        + fake::yesNo(result));
    return result;
}

bool verifyNewExecutable(const std::wstring& path)
{
    journal().push_back(L"verify " + path);
    return script().newExecutableVerifies;
}

bool restartApplication(const std::wstring& executablePath, UpdateLog&)
{
    journal().push_back(L"restart " + executablePath);
    return script().restartSucceeds;
}

std::optional<CheckedFolders> checkFolderSafety(const UpdateOptions& options, const std::wstring& updaterPath)
{
    journal().push_back(L"safety " + options.releaseFolder + L" " + options.installFolder + L" "
                        + options.backupFolder + L" " + updaterPath);
    if (!script().foldersSafe) {
        return std::nullopt;
    }
    return CheckedFolders{L"\\\\?\\R:\\release", L"\\\\?\\C:\\Quorila", L"\\\\?\\C:\\Backup", FileId{1, 7}, std::nullopt};
}

bool canWriteFolder(const std::wstring& folder)
{
    journal().push_back(L"probe " + folder);
    return script().installWritable;
}

bool isProcessElevated()
{
    journal().push_back(L"elevated?");
    return script().elevated;
}

bool relaunchElevated(UpdateLog&)
{
    journal().push_back(L"relaunch");
    return script().relaunchSucceeds;
}

std::optional<std::uint32_t> parseProcessId(std::wstring_view pidText)
{
    journal().push_back(L"pid " + std::wstring(pidText));
    return script().processId;
}

bool checkReleasePackage(const std::wstring& releaseFolder, const std::wstring& exeName)
{
    journal().push_back(L"package " + releaseFolder + L" " + exeName);
    return script().releaseComplete;
}

} // namespace quorila
