// The preflight checks and the transaction handed a scripted set of steps, for the outcomes no real
// run reaches here. Each step goes to one journal (failures as "fail N"), so a row shows the order
// of operations, log lines and codes together.

#include <gtest/gtest.h>

#include <algorithm>

#include "driver/preflight.h"
#include "driver/transaction.h"

namespace quorila {
namespace {

struct Script {
    std::vector<bool> clears{true, true};       // clearInstallFolder's answers, in order
    std::vector<bool> copies{true, true, true}; // copyTree's
    bool held = true;                           // the folders can be held as checked
    bool readied = true;                        // the backup folder emptied or made
    bool backupLocked = true;
    BackupFolderFinding backup;
    bool exits = true;     // the application ends within the wait
    bool stillSafe = true; // the folders pass the check after the wait
    bool exact = true;     // holdsExactly's answer
    bool verifies = true;
    bool completeMarked = true; // the mark "complete" is written
    bool restarts = true;
    bool writable = true;
    bool elevated = false;
    bool elevatedCopy = false;           // the options carry the elevated copy's mark
    std::optional<int> copyEnds = 0;     // the elevated copy's exit code; none: not started
    std::wstring processId = L"4242";
    std::vector<std::wstring> journal; // what was called, in order
    std::size_t clearCalls = 0;
    std::size_t copyCalls = 0;
} script;

bool answer(const std::wstring& call, bool answer)
{
    script.journal.push_back(call + (answer ? L" ok" : L" FAILS"));
    return answer;
}

// The next scripted answer; false once they are used up.
bool next(const std::vector<bool>& answers, std::size_t& calls)
{
    return calls < answers.size() && answers[calls++];
}

HeldLock lock(bool held)
{
    static int token;
    return HeldLock(held ? &token : nullptr, [](void*) noexcept {});
}

CheckedFolders checked()
{
    return {L"\\\\?\\R:\\r", L"\\\\?\\I:\\i", L"\\\\?\\B:\\b", FileId{1, 5}, FileId{1, 7}, std::nullopt};
}

const UpdateSteps scripted = {
    .logLine = [](UpdateLog&, std::wstring_view message) { script.journal.push_back(std::wstring(message)); },
    .reportFailure = [](UpdateLog&, ExitCode code) {
        script.journal.push_back(L"fail " + std::to_wstring(static_cast<int>(code)));
        return code;
    },
    .ownExecutablePath = [](std::error_code& error) {
        error.clear();
        return std::wstring(L"U:\\QuorilaUpdater.exe");
    },
    .checkFolderSafety = [](const UpdateOptions&, const std::wstring&) { return std::optional(checked()); },
    .canWriteFolder = [](const std::wstring&) { return script.writable; },
    .isProcessElevated = [] { return script.elevated; },
    .relaunchElevated = [](const UpdateOptions& o, UpdateLog&) {
        script.journal.push_back(L"relaunch " + o.releaseFolder + L" " + o.installFolder + L" " + o.backupFolder + L" "
                                 + o.logPath + (o.elevatedCopy ? L" elevated" : L"")
                                 + (script.copyEnds ? L" ended " + std::to_wstring(*script.copyEnds) : L" FAILS"));
        return script.copyEnds;
    },
    .holdFolders = [](const CheckedFolders&) {
        return answer(L"hold", script.held) ? std::optional<HeldFolders>(HeldFolders{}) : std::nullopt;
    },
    .checkReleasePackage = [](const Held&, const std::wstring&) { return true; },
    .lockInstallFolder = [](const FileId&) { return lock(true); },
    .lockBackupFolder = [](const std::wstring&) { return lock(script.backupLocked); },
    .inspectBackupFolder = [](const Held&, const std::wstring&) { return script.backup; },
    .waitForApplicationExit = [](std::uint32_t id, UpdateLog&) {
        return answer(L"wait " + std::to_wstring(id), script.exits);
    },
    .checkFolderSafetyAgain = [](const UpdateOptions&, const std::wstring&, const CheckedFolders&) {
        return answer(L"check again", script.stillSafe);
    },
    .readyBackupFolder = [](HeldFolders&, const std::wstring& backup, const FileId&, UpdateLog&) {
        return answer(L"ready " + backup, script.readied);
    },
    .writeBackupMark = [](const Held&, const std::wstring&, const BackupMark& mark) {
        const bool complete = mark.state == BackupState::complete;
        return answer(complete ? L"mark complete" : L"mark under way", !complete || script.completeMarked);
    },
    .removeBackupMark = [](const Held&) { return answer(L"unmark", true); },
    .clearInstallFolder = [](const Held&, const std::wstring& folder, UpdateLog&, AfterEntryNotRemoved after) {
        const std::wstring goingOn = after == AfterEntryNotRemoved::goOn ? L" past failures" : L"";
        return answer(L"clear " + folder + goingOn, next(script.clears, script.clearCalls));
    },
    .copyTree = [](const Held&, const std::wstring& from, const Held&, const std::wstring& to, CopyOf what,
                   UpdateLog&) {
        const std::wstring refusing = what == CopyOf::release ? L" no links" : L"";
        return answer(L"copy " + from + L" -> " + to + refusing, next(script.copies, script.copyCalls));
    },
    .holdsExactly = [](const Held&, const Held&) { return answer(L"exact", script.exact); },
    .verifyNewExecutable = [](const Held&, const std::wstring&) { return script.verifies; },
    .restartApplication = [](const std::wstring& executable, UpdateLog&) {
        return answer(L"start " + executable, script.restarts);
    },
};

// No scripted step hands out a handle: the owners this program destroys hold none.
UpdateLog log;

} // namespace

void closeHandle(void*) noexcept
{
    ADD_FAILURE() << "a handle was closed, though no scripted step opens one";
}

namespace {

const UpdateOptions options{L"4242", L"R:\\r", L"I:\\i", L"B:\\b", L"Quorila.exe", L"L:\\update.log"};

struct Row {
    const char* outcome;
    Script script;
    std::vector<std::wstring> journal; // from the clearing of the install folder, or the first failure, on
    int code;
};

TEST(Steps, EachOutcomeRunsItsStepsInOrder)
{
    const std::wstring cleared = L"clear I:\\i ok", rollbackCleared = L"clear I:\\i past failures ok";
    const std::wstring notCleared = L"clear I:\\i past failures FAILS";
    const std::wstring installed = L"copy R:\\r -> I:\\i no links ok", notInstalled = L"copy R:\\r -> I:\\i no links FAILS";
    const std::wstring copiedBack = L"copy B:\\b -> I:\\i ok", notCopiedBack = L"copy B:\\b -> I:\\i FAILS";
    const std::wstring started = L"start I:\\i\\Quorila.exe ok", notStarted = L"start I:\\i\\Quorila.exe FAILS";
    const std::wstring verifyFailed = L"Yeni executable doğrulanamadı; rollback başlıyor.";
    const std::wstring installFailed = L"Kurulum başarısız; rollback başlıyor.";
    const std::wstring complete = L"mark complete ok", exact = L"exact ok", notExact = L"exact FAILS";
    const std::wstring notABackup = L"Yedek klasörü bir Quorila yedeği değil: B:\\b";
    const auto underWay = [](unsigned long long install) {
        return BackupFolderFinding{BackupFolderKind::marked, BackupMark{BackupState::updating, FileId{1, install}}};
    };
    const std::vector<Row> rows = {
        {"installed", {}, {cleared, installed, L"Güncelleme başarıyla uygulandı.", complete, started}, 0},
        {"the application still runs at the wait's end: nothing touched", {.exits = false},
         {L"wait 4242 FAILS", L"fail 14"}, 14},
        {"a folder no longer the one checked after the wait: nothing touched", {.stillSafe = false},
         {L"check again FAILS", L"fail 11"}, 11},
        {"the backup folder not emptied or made: nothing touched", {.readied = false},
         {L"ready B:\\b FAILS", L"fail 15"}, 15},
        {"rolled back, the old version fails to start: still 17", {.copies = {true, false, true}, .restarts = false},
         {cleared, notInstalled, installFailed, rollbackCleared, copiedBack, exact, complete, notStarted,
          L"fail 17"}, 17},
        // Left marked as an update under way, the backup (the version before) would be kept by the
        // next run over the installation now in place.
        {"installed, the mark complete not written: the mark removed", {.completeMarked = false},
         {cleared, installed, L"Güncelleme başarıyla uygulandı.", L"mark complete FAILS", L"unmark ok", started}, 0},
        {"verification failed, rolled back", {.verifies = false},
         {cleared, installed, verifyFailed, rollbackCleared, copiedBack, exact, complete, started, L"fail 19"}, 19},
        // An entry the rollback's clearing could not remove is overwritten by the copy back.
        {"verification failed, the rollback's clearing failed, the install folder exactly the backup",
         {.clears = {true, false}, .verifies = false},
         {cleared, installed, verifyFailed, notCleared, copiedBack, exact, complete, started, L"fail 19"}, 19},
        // A mixed installation is no rollback: the backup stays the one to keep (no mark "complete").
        {"installing failed, the rollback's clearing left release files: 16",
         {.clears = {true, false}, .copies = {true, false, true}, .exact = false},
         {cleared, notInstalled, installFailed, notCleared, copiedBack, notExact, L"fail 16"}, 16},
        {"verification failed, the rollback's clearing left release files: 18",
         {.clears = {true, false}, .exact = false, .verifies = false},
         {cleared, installed, verifyFailed, notCleared, copiedBack, notExact, L"fail 18"}, 18},
        {"verification failed, rollback failed", {.copies = {true, true, false}, .verifies = false},
         {cleared, installed, verifyFailed, rollbackCleared, notCopiedBack, L"fail 18"}, 18},
        {"installed by the elevated copy: nothing started", {.elevatedCopy = true},
         {cleared, installed, L"Güncelleme başarıyla uygulandı.", complete}, 0},
        // Its box is the user's copy's, once that copy has started the old version.
        {"rolled back by the elevated copy: no box", {.copies = {true, false, true}, .elevatedCopy = true},
         {cleared, notInstalled, installFailed, rollbackCleared, copiedBack, exact, complete}, 17},
        {"the backup folder in use by another updater: nothing touched", {.backupLocked = false},
         {L"Aynı yedek klasörünü kullanan başka bir güncelleme çalışıyor.", L"fail 11"}, 11},
        {"a backup folder that is not the updater's", {.backup = {BackupFolderKind::foreign, std::nullopt}},
         {notABackup, L"fail 11"}, 11},
        {"another install folder's update under way over the backup", {.backup = underWay(8)},
         {notABackup, L"fail 11"}, 11},
        // The backup is kept as it is: no removal or copy of it before the clearing.
        {"this install folder's update cut off: the backup kept, the update goes on",
         {.copies = {true}, .backup = underWay(7)},
         {L"Önceki güncelleme yarıda kalmış; mevcut yedek korunuyor.", L"Yeni release kuruluyor...", cleared,
          installed, L"Güncelleme başarıyla uygulandı.", complete, started}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.outcome);
        script = row.script;
        UpdateOptions given = options;
        given.elevatedCopy = row.script.elevatedCopy;
        PreflightPass pass{4242, checked(), {}};
        EXPECT_EQ(static_cast<int>(runUpdateTransaction(scripted, given, pass, log)), row.code);
        const auto first = std::find_if(script.journal.begin(), script.journal.end(), [](const std::wstring& entry) {
            return entry.starts_with(L"clear") || entry.ends_with(L" FAILS") || entry.starts_with(L"Aynı yedek")
                || entry.starts_with(L"Yedek ") || entry.starts_with(L"Önceki");
        });
        EXPECT_EQ(std::vector<std::wstring>(first, script.journal.end()), row.journal);
    }
}

TEST(Steps, PreflightAsksForRightsOnlyWhenNeededAndEndsAtTheFirstFailure)
{
    const std::wstring asking = L"Kurulum klasörü yönetici yetkisi gerektiriyor; UAC isteniyor.";
    const std::wstring copy = L"relaunch R:\\r I:\\i B:\\b L:\\update.log elevated ended ";
    const std::wstring foreign = L"Yönetici yetkili updater beklenmeyen bir kodla sonlandı: ";
    const std::wstring started = L"start I:\\i\\Quorila.exe ok", notStarted = L"start I:\\i\\Quorila.exe FAILS";
    const std::vector<Row> rows = {
        {"writable", {}, {L"hold ok"}, -1},
        {"the folders no longer the ones checked", {.held = false}, {L"hold FAILS", L"fail 11"}, 11},
        // The user's copy ends with the elevated copy's code; it starts the application where the
        // copy left a version in place, as the user, then shows the box of a rollback (the copy
        // showed none), and no box for the copy's other failures.
        {"the copy updated", {.writable = false}, {asking, copy + L"0", started}, 0},
        {"the copy updated, the start fails", {.restarts = false, .writable = false},
         {asking, copy + L"0", notStarted, L"fail 20"}, 20},
        {"the copy rolled back", {.writable = false, .copyEnds = 17}, {asking, copy + L"17", started, L"fail 17"}, 17},
        {"the copy rolled back, the start fails", {.restarts = false, .writable = false, .copyEnds = 19},
         {asking, copy + L"19", notStarted, L"fail 19"}, 19},
        {"the copy's end from outside", {.writable = false, .copyEnds = 1},
         {asking, copy + L"1", foreign + L"1", L"fail 21"}, 21},
        {"the copy's code below the updater's", {.writable = false, .copyEnds = 9},
         {asking, copy + L"9", foreign + L"9", L"fail 21"}, 21},
        {"the copy's code above the updater's", {.writable = false, .copyEnds = 23},
         {asking, copy + L"23", foreign + L"23", L"fail 21"}, 21},
        {"the copy crashed", {.writable = false, .copyEnds = static_cast<int>(0xC0000005)},
         {asking, copy + L"-1073741819", foreign + L"3221225477", L"fail 21"}, 21},
        {"the copy's lowest code", {.writable = false, .copyEnds = 10}, {asking, copy + L"10"}, 10},
        {"the copy made no backup", {.writable = false, .copyEnds = 15}, {asking, copy + L"15"}, 15},
        {"the copy ended with 20: nothing started", {.writable = false, .copyEnds = 20}, {asking, copy + L"20"}, 20},
        {"the copy could not write either", {.writable = false, .copyEnds = 22}, {asking, copy + L"22"}, 22},
        {"not writable, the prompt refused", {.writable = false, .copyEnds = {}},
         {asking, L"relaunch R:\\r I:\\i B:\\b L:\\update.log elevated FAILS", L"fail 21"}, 21},
        {"not writable although elevated", {.writable = false, .elevated = true}, {L"fail 22"}, 22},
        {"not writable, the elevated copy: never asks again", {.writable = false, .elevatedCopy = true}, {L"fail 22"}, 22},
        {"not writable, a bad process id: the elevated copy reads it", {.writable = false, .copyEnds = 12, .processId = L"x"},
         {asking, copy + L"12"}, 12},
        {"a bad process id", {.processId = L"x"}, {L"hold ok", L"fail 12"}, 12},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.outcome);
        script = row.script;
        UpdateOptions given = options;
        given.elevatedCopy = row.script.elevatedCopy;
        given.pidText = row.script.processId;
        const PreflightResult result = runPreflightChecks(scripted, given, log);
        EXPECT_EQ(result.endedWith ? static_cast<int>(*result.endedWith) : -1, row.code);
        EXPECT_EQ(script.journal, row.journal);
    }
}

} // namespace
} // namespace quorila
