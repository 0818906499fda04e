// Generated, malformed command lines against the real updater: wrong and misspelt option names,
// missing values, huge values, odd separators, device prefixes, quotes, Turkish letters, empty
// tokens, each handed to CreateProcessW as raw text, so that odd quoting is tested as well. The
// updater must never crash, never leave its probe file behind, and never change anything when it
// refuses to start (codes 10 to 13).
//
// Safety: every folder value the updater could work on (--source, --target, --backup, the joins
// with --exe) and the log path must lie strictly inside this test's temporary folder. Each
// generated line is split here exactly as the updater splits it, and a line whose options could
// name anything else is thrown away before it is run (the check itself is tested first).

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "driver/options.h"
#include "driver/release_package.h"
#include "e2e/e2e_support.h"
#include "folders/file_ops.h"
#include "folders/install_clearing.h"
#include "folders/path_grammar.h"
#include "process/relaunch.h"

namespace quorila::test {
namespace {

constexpr std::uint32_t generatorSeed = 20240611;
// How many lines are run: each costs 100 to 160 ms under Wine (mostly starting the process and
// its error box), so 600 lines take 60 to 95 s.
constexpr int commandLineCount = 600;
// A value as long as a command line allows (CreateProcessW takes at most 32,767 units in all).
constexpr std::size_t hugeLength = 30000;
constexpr std::size_t commandLineLimit = 32700;
const std::wstring probePrefix = L".quorila_updater_write_";

bool isSeparatorUnit(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

std::wstring lowerAscii(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') {
            c = static_cast<wchar_t>(c - L'A' + L'a');
        }
    }
    return text;
}

// The elements of the absolute path `value` names (drive first, ASCII letters lowered, trailing
// dots and blanks dropped), with "." and ".." resolved as the platform resolves them; a relative
// value is taken below `currentFolder`. Nothing for every form that is not judged here: root- or
// drive-relative paths, server paths, elements made only of dots and blanks other than "." and
// "..", any dot element or element ending in a dot or blank behind a device prefix (which the
// platform takes literally there).
std::optional<std::vector<std::wstring>> resolvedElements(std::wstring_view value, const std::wstring& currentFolder)
{
    std::wstring path(value);
    bool literal = false;
    for (const std::wstring_view prefix : {std::wstring_view(L"\\\\?\\"), std::wstring_view(L"\\\\.\\"),
                                           std::wstring_view(L"\\??\\")}) {
        if (path.starts_with(prefix)) {
            path.erase(0, prefix.size());
            literal = true;
            break;
        }
    }
    if (!literal && !(path.size() >= 2 && path[1] == L':')) {
        if (!path.empty() && isSeparatorUnit(path[0])) {
            return std::nullopt;
        }
        path = currentFolder + L"\\" + path;
    }
    const wchar_t drive = path.empty() ? L'\0' : lowerAscii(path.substr(0, 1))[0];
    const bool driveAbsolute = path.size() >= 3 && drive >= L'a' && drive <= L'z' && path[1] == L':'
        && isSeparatorUnit(path[2]);
    if (!driveAbsolute) {
        return std::nullopt;
    }
    std::vector<std::wstring> elements{lowerAscii(path.substr(0, 2))};
    std::size_t start = 3;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !isSeparatorUnit(path[end])) {
            ++end;
        }
        const std::wstring element = path.substr(start, end - start);
        start = end + 1;
        if (element.empty()) {
            continue;
        }
        std::wstring trimmed = element;
        while (!trimmed.empty() && (trimmed.back() == L'.' || trimmed.back() == L' ')) {
            trimmed.pop_back();
        }
        if (literal && trimmed != element) {
            return std::nullopt; // kept as it stands, a name the platform's other calls cannot reach
        }
        if (trimmed.empty()) {
            if (literal) {
                return std::nullopt;
            }
            if (element == L".") {
                continue;
            }
            if (element == L".." && elements.size() > 1) {
                elements.pop_back();
                continue;
            }
            return std::nullopt;
        }
        elements.push_back(lowerAscii(trimmed));
    }
    return elements;
}

// True when `value` names something strictly below `folder` (a plain absolute path).
bool liesBelow(std::wstring_view value, const std::wstring& folder, const std::wstring& currentFolder)
{
    const auto path = resolvedElements(value, currentFolder);
    const auto base = resolvedElements(folder, currentFolder);
    return path && base && path->size() > base->size() && std::equal(base->begin(), base->end(), path->begin());
}

// The folders of one sweep, all inside the test's temporary folder.
struct SweepFolders {
    std::wstring temp;
    std::wstring release;
    std::wstring install;
    std::wstring backup;
    std::wstring logs;
    std::wstring work; // the current folder of the test, and so of the updater
};

struct ArgvDeleter {
    void operator()(wchar_t** argv) const noexcept { LocalFree(argv); }
};

// Values that name no folder at all, harmless wherever they stand; only --source may take them.
const std::vector<std::wstring> nonsenseSources = {L"NUL", L"\\\\?\\", L"\\\\.\\", L"::"};

// True when every value of the line that the updater could work on lies where it may: the three
// folders and the joins with --exe strictly inside the temporary folder, the log inside the log
// folder, and a process id that cannot be a live process of this Wine prefix.
bool isSafeToRun(const std::wstring& updater, const std::wstring& arguments, const SweepFolders& folders,
                 const std::vector<std::wstring>& exePool)
{
    const std::wstring commandLine = L"\"" + updater + L"\" " + arguments;
    if (commandLine.size() >= commandLineLimit) {
        return false;
    }
    int count = 0;
    const std::unique_ptr<wchar_t*, ArgvDeleter> argv(CommandLineToArgvW(commandLine.c_str(), &count));
    if (!argv) {
        return true; // the updater gets no options at all
    }
    const UpdateOptions options =
        readUpdateOptions(pairOptionTokens(std::vector<std::wstring>(argv.get(), argv.get() + count)));
    auto inside = [&](const std::wstring& value, const std::wstring& folder) {
        return value.empty() || liesBelow(value, folder, folders.work);
    };
    const bool sourceSafe = inside(options.releaseFolder, folders.temp)
        || std::find(nonsenseSources.begin(), nonsenseSources.end(), options.releaseFolder) != nonsenseSources.end();
    auto joinedInside = [&](const std::wstring& folder) {
        return folder.empty() || inside(joinPath(folder, options.exeName), folders.temp);
    };
    const bool exeSafe = options.exeName.empty()
        || std::find(exePool.begin(), exePool.end(), options.exeName) != exePool.end()
        || (joinedInside(options.installFolder) && joinedInside(options.releaseFolder));
    const auto pid = parseProcessId(options.pidText);
    const bool pidSafe = !pid || *pid >= 100000000u;
    return sourceSafe && exeSafe && pidSafe && inside(options.installFolder, folders.temp)
        && inside(options.backupFolder, folders.temp) && inside(options.logPath, folders.logs);
}

class LineGenerator {
public:
    LineGenerator(const SweepFolders& folders, std::uint32_t seed) : folders_(folders), random_(seed) {}

    const std::vector<std::wstring>& exePool() const { return exePool_; }

    // The argument text after the program: the six options, shuffled and mutated, rendered with
    // varying quoting.
    std::wstring arguments()
    {
        std::vector<std::pair<std::wstring, std::wstring>> pairs;
        std::vector<std::wstring> names = {L"--pid", L"--source", L"--target", L"--backup", L"--exe", L"--log"};
        std::shuffle(names.begin(), names.end(), random_);
        for (const auto& name : names) {
            if (!chance(0.02)) {
                pairs.emplace_back(optionName(name), value(name));
            }
        }
        if (chance(0.15)) {
            for (int extra = pickIndex(3) + 1; extra > 0; --extra) {
                pairs.insert(pairs.begin() + pickIndex(pairs.size() + 1), {pick(junkNames_), junkValue()});
            }
        }
        if (chance(0.15)) {
            const std::wstring name = pick(names);
            pairs.insert(pairs.begin() + pickIndex(pairs.size() + 1), {name, value(name)});
        }
        std::vector<std::wstring> tokens;
        for (const auto& [name, value] : pairs) {
            tokens.push_back(name);
            tokens.push_back(value);
        }
        if (chance(0.04) && !tokens.empty()) {
            tokens.erase(tokens.begin() + pickIndex(tokens.size()));
        }
        if (chance(0.03)) {
            tokens.insert(tokens.begin() + pickIndex(tokens.size() + 1), L"");
        }
        if (chance(0.03)) {
            tokens.push_back(pick(junkNames_));
        }
        return render(tokens);
    }

private:
    bool chance(double probability) { return std::uniform_real_distribution<double>(0, 1)(random_) < probability; }
    std::size_t pickIndex(std::size_t size) { return std::uniform_int_distribution<std::size_t>(0, size - 1)(random_); }
    const std::wstring& pick(const std::vector<std::wstring>& pool) { return pool[pickIndex(pool.size())]; }

    std::wstring optionName(const std::wstring& name)
    {
        if (chance(0.97)) {
            return name;
        }
        const std::wstring bare = name.substr(2);
        const std::vector<std::wstring> variants = {
            L"--" + lowerAscii(bare).replace(0, 1, 1, static_cast<wchar_t>(bare[0] - L'a' + L'A')),
            L"-" + bare, L"\u2014" + bare, L"/" + bare, L"---" + bare, name + L" ", name + L"=", L"--",
            L"--" + bare + L"\u0131", L"\u00a0" + name, L"", name + L"\"x"};
        return pick(variants);
    }

    std::wstring value(const std::wstring& name)
    {
        if (name == L"--pid") {
            return chance(0.5) ? std::to_wstring(UpdateSetup::goneProcessId) : pick(pids_);
        }
        if (name == L"--exe") {
            return chance(0.6) ? std::wstring(L"Quorila.exe") : pick(exePool_);
        }
        if (name == L"--log") {
            return logValue();
        }
        const std::wstring& usual = name == L"--source" ? folders_.release
                                    : name == L"--target" ? folders_.install
                                                          : folders_.backup;
        return folderValue(chance(0.6) ? usual : pick(folderBases_));
    }

    // A folder inside the temporary folder, written in one of many odd ways.
    std::wstring folderValue(const std::wstring& folder)
    {
        if (chance(0.06)) {
            return pick(nonsenseFolders_);
        }
        return mutatePath(folder, folders_.temp, true);
    }

    std::wstring logValue()
    {
        return mutatePath(joinPath(folders_.logs, pick(logNames_)), folders_.logs, false);
    }

    // `path` (below `base`) written differently: separators, letter case, dot elements, device
    // prefixes, trailing separators, dots and blanks, stray quotes, huge lengths.
    // Only folders get the deep form: a log path thousands of folders deep would leave them all
    // behind in the log folder, which is kept between runs.
    std::wstring mutatePath(const std::wstring& path, const std::wstring& base, bool deepAllowed)
    {
        std::wstring head = base;
        std::wstring rest = path.substr(base.size()); // "\\..." below the base
        const double form = std::uniform_real_distribution<double>(0, 1)(random_);
        const bool relative = form < 0.12;
        const bool prefixed = !relative && form < 0.3;
        if (!prefixed && chance(0.1)) {
            rest.insert(0, L"\\.");
        }
        if (!prefixed && chance(0.1)) {
            rest.insert(0, L"\\ara klasör\\..");
        }
        if (chance(0.2)) {
            std::replace(rest.begin(), rest.end(), L'\\', L'/');
            if (!prefixed && chance(0.5)) {
                std::replace(head.begin(), head.end(), L'\\', L'/');
            }
        }
        if (chance(0.12)) {
            const std::size_t at = rest.find_last_of(L"\\/");
            if (at != std::wstring::npos) {
                rest.insert(at, std::wstring(1 + pickIndex(3), rest[at]));
            }
        }
        if (chance(0.15)) {
            for (std::wstring* part : {&head, &rest}) {
                for (wchar_t& c : *part) {
                    if (c >= L'a' && c <= L'z') {
                        c = static_cast<wchar_t>(c - L'a' + L'A');
                    }
                }
            }
        }
        if (chance(0.12)) {
            rest += pick(prefixed ? plainEndings_ : endings_);
        }
        if (chance(0.03)) {
            rest.insert(rest.begin() + static_cast<std::ptrdiff_t>(pickIndex(rest.size() + 1)), L'"');
        }
        std::wstring result;
        if (relative) {
            // From the current folder, three levels below the temporary folder.
            result = L"..\\..\\..\\" + (head + rest).substr(folders_.temp.size() + 1);
        } else if (prefixed) {
            result = pick(devicePrefixes_) + head + rest;
        } else {
            result = head + rest;
        }
        if (chance(0.05)) {
            result.insert(0, std::wstring(1 + pickIndex(2), L' '));
        }
        if (chance(0.04)) {
            // Huge: one long element of Turkish letters, or thousands of short ones.
            const std::size_t room = hugeLength > result.size() ? hugeLength - result.size() : 0;
            if (!deepAllowed || chance(0.5)) {
                result += L"\\" + std::wstring(room, L'ş');
            } else {
                for (std::size_t added = 0; added + 2 <= room; added += 2) {
                    result += L"\\a";
                }
            }
        }
        return result;
    }

    std::wstring junkValue()
    {
        if (chance(0.05)) {
            return std::wstring(hugeLength, L'ğ');
        }
        return pick(junkValues_);
    }

    // Each token written as quoteArgument writes it, or bare, or naively quoted, or half quoted,
    // with stray quotes; tokens apart by one or more blanks and tabs.
    std::wstring render(const std::vector<std::wstring>& tokens)
    {
        std::wstring text = chance(0.03) ? L" " : L"";
        for (std::size_t index = 0; index < tokens.size(); ++index) {
            if (index > 0) {
                text += pick(separators_);
            }
            const std::wstring& token = tokens[index];
            const double style = std::uniform_real_distribution<double>(0, 1)(random_);
            const bool hasBlank = token.find_first_of(L" \t") != std::wstring::npos;
            if (style < 0.8 || (hasBlank && style < 0.88)) {
                text += quoteArgument(token);
            } else if (style < 0.88) {
                text += token;
            } else if (style < 0.93) {
                text += L"\"" + token + L"\"";
            } else if (style < 0.96) {
                const std::size_t cut = pickIndex(token.size() + 1);
                text += token.substr(0, cut) + L"\"" + token.substr(cut) + L"\"";
            } else if (style < 0.98) {
                text += L"\"\"" + token;
            } else {
                text += quoteArgument(token) + L"\"";
            }
        }
        if (chance(0.03)) {
            text += L"\"";
        }
        return text;
    }

    const SweepFolders& folders_;
    std::mt19937 random_;

    // Never a small number in any form: that could be a live process of the prefix, waited for
    // for a minute.
    const std::vector<std::wstring> pids_ = {
        L"4294967295", L"4000000000", L"123456789", L"-1", L"-4", L"+4000000000", L" 4000000000", L"\t4000000000",
        L"0004000000000", L"99999999999999999999", L"4294967296", L"0", L"000", L"", L"abc", L"42abc", L"0x10",
        L"1.5", L"1e3", L"4000000000 ", L"--pid", L"\"4000000000\"", L"4 000 000 000", L"\u0130",
        L"\u0664\u0660\u0660\u0660\u0660\u0660\u0660\u0660\u0660\u0660", // Arabic-Indic digits
        L"\uff14\uff10\uff10\uff10\uff10\uff10\uff10\uff10\uff10\uff10", // full-width digits
        std::wstring(hugeLength, L'9')};
    const std::vector<std::wstring> exePool_ = {
        L"Quorila.exe", L"quorila.EXE", L"QUORILA.EXE", L"Quorila.exe ", L" Quorila.exe", L"Quorila", L"data",
        L"version.txt", L"yok.exe", L"..\\Quorila.exe", L"alt\\Quorila.exe", L"\\Quorila.exe", L"/Quorila.exe",
        L"C:\\yok\\Quorila.exe", L"Quorila.exe\\", L"Quorila.exe:akış", L"*.exe", L"Quorila?.exe",
        L"Kurulum İçin Çalıştır.exe", L"data\\", L".", L"..", L"\\\\?\\Quorila.exe", L"Quorila.exe\"",
        std::wstring(hugeLength, L'a') + L".exe"};
    const std::vector<std::wstring> folderBases_ = {
        folders_.release, folders_.install, folders_.backup, folders_.temp + L"\\başka klasör",
        joinPath(folders_.install, L"data"), joinPath(folders_.release, L"data"),
        folders_.temp + L"\\İSTANBUL ğüşıöç",
        folders_.work, folders_.logs, folders_.temp + L"\\yeni"};
    const std::vector<std::wstring> nonsenseFolders_ = {L"", L" ", L"\"", L"::", L"*", L"?", L"a|b", L"<>", L"NUL",
                                                        L"\\\\?\\", L"\\\\.\\", L".", L"..", L"--target"};
    const std::vector<std::wstring> logNames_ = {L"güncelleme.log", L"a\\b\\c.log", L"yeni klasör\\log.txt",
                                                 L"log", L".log", L"klasör\\", L"log.txt.", L"ŞİĞ.log"};
    const std::vector<std::wstring> endings_ = {L"\\", L"/", L"\\\\", L"\\/", L".", L" ", L"\\.", L"\\ ş"};
    const std::vector<std::wstring> plainEndings_ = {L"\\", L"\\\\", L"\\ ş", L"\\ğ"};
    const std::vector<std::wstring> devicePrefixes_ = {L"\\\\?\\", L"\\\\?\\", L"\\\\.\\", L"\\??\\"};
    const std::vector<std::wstring> junkNames_ = {L"--foo", L"--", L"--PID", L"-pid", L"x", L"", L"--source",
                                                  L"--lög", L"\"", L"--pid=1", L"\u2014\u2014target"};
    const std::vector<std::wstring> junkValues_ = {L"", L"bar", L"\"", L"\\", L"--exe", L" ", L"\\\\?\\",
                                                   L"ç ğ ı ö ş ü", L"a\"b", L"\\\"", L"\t"};
    const std::vector<std::wstring> separators_ = {L" ", L" ", L" ", L"  ", L"\t", L" \t "};
};

// Everything below `root`: relative path to content, "<dir>" for folders, "<log>" for whatever
// lies in the log folder (its files grow with every run); and the probe files met.
struct FolderState {
    std::map<std::wstring, std::string> entries;
    std::vector<std::wstring> probes;
};

FolderState stateOf(const SweepFolders& folders)
{
    FolderState state;
    std::error_code error;
    FolderListing listing(folders.temp, FolderListing::Depth::recursive, error);
    while (!error && !listing.atEnd()) {
        const std::wstring& path = listing.path();
        const std::wstring relative = path.substr(folders.temp.size() + 1);
        if (fileName(path).starts_with(probePrefix)) {
            state.probes.push_back(path);
        }
        const bool folder = listing.isFolder(error);
        if (error) {
            break;
        }
        if (folder) {
            state.entries[relative] = "<dir>";
        } else if (path.starts_with(folders.logs + L"\\")) {
            state.entries[relative] = "<log>";
        } else {
            state.entries[relative] = readFile(path).value_or("<unreadable>");
        }
        listing.increment(error);
    }
    EXPECT_FALSE(error) << "cannot list the test folder";
    return state;
}

// The state without the log folder's contents.
std::map<std::wstring, std::string> outsideLogs(const FolderState& state, const SweepFolders& folders)
{
    const std::wstring logs = folders.logs.substr(folders.temp.size() + 1);
    std::map<std::wstring, std::string> entries;
    for (const auto& [path, content] : state.entries) {
        if (path != logs && !path.starts_with(logs + L"\\")) {
            entries[path] = content;
        }
    }
    return entries;
}

// Sets the test's current folder, which the updater inherits, and puts the old one back at the end.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::wstring& folder)
    {
        std::wstring buffer(32768, L'\0');
        buffer.resize(GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data()));
        previous_ = buffer;
        set_ = SetCurrentDirectoryW(folder.c_str()) != FALSE;
    }
    ~CurrentFolder() { SetCurrentDirectoryW(previous_.c_str()); }
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;
    bool set() const { return set_; }

private:
    std::wstring previous_;
    bool set_ = false;
};

std::wstring shortened(const std::wstring& text)
{
    return text.size() <= 300 ? text : text.substr(0, 300) + L"... (" + std::to_wstring(text.size()) + L" units)";
}

// The six options as the updater reads them from the line, for failure messages.
std::string readBack(const std::wstring& updater, const std::wstring& arguments)
{
    const std::wstring commandLine = L"\"" + updater + L"\" " + arguments;
    int count = 0;
    const std::unique_ptr<wchar_t*, ArgvDeleter> argv(CommandLineToArgvW(commandLine.c_str(), &count));
    if (!argv) {
        return "(no options)";
    }
    const UpdateOptions options =
        readUpdateOptions(pairOptionTokens(std::vector<std::wstring>(argv.get(), argv.get() + count)));
    return "\n  line: " + testing::PrintToString(shortened(arguments)) + "\n  --pid "
        + testing::PrintToString(shortened(options.pidText)) + "\n  --source "
        + testing::PrintToString(shortened(options.releaseFolder)) + "\n  --target "
        + testing::PrintToString(shortened(options.installFolder)) + "\n  --backup "
        + testing::PrintToString(shortened(options.backupFolder)) + "\n  --exe "
        + testing::PrintToString(shortened(options.exeName)) + "\n  --log "
        + testing::PrintToString(shortened(options.logPath));
}

// The entries that differ between two states, for failure messages.
std::string differences(const std::map<std::wstring, std::string>& before,
                        const std::map<std::wstring, std::string>& after)
{
    std::string text;
    for (const auto& [path, content] : before) {
        const auto found = after.find(path);
        if (found == after.end()) {
            text += "\n  gone: " + testing::PrintToString(shortened(path));
        } else if (found->second != content) {
            text += "\n  changed: " + testing::PrintToString(shortened(path));
        }
    }
    for (const auto& [path, content] : after) {
        if (!before.contains(path)) {
            text += "\n  new: " + testing::PrintToString(shortened(path));
        }
    }
    return text;
}

TEST(BadInputSlow, TheSafetyCheckOfGeneratedLinesRefusesEverythingOutsideTheTestFolder)
{
    const std::wstring temp = L"C:\\users\\me\\Temp\\quorila-test-1";
    const std::wstring work = temp + L"\\work\\a\\b";
    const std::vector<std::wstring> outsides = {
        L"C:\\", L"Z:\\", L"Z:", L"C:", L"/", L"\\", L"\\\\?\\Z:\\", L"\\\\.\\Z:\\", L"\\??\\Z:\\", L"//?/Z:/",
        L"\\\\server\\share\\x", L"\\\\?\\Z:\\tmp\\..", L"..\\..\\..", L"..\\..\\..\\..\\x", temp, temp + L"\\",
        temp + L"\\.", temp + L"\\x\\..", temp + L"\\..\\quorila-test-1x", temp + L"\\a\\..\\..\\b",
        temp + L"\\...\\x", temp + L"\\.. \\x", temp + L"\\. .\\x", L"\\\\?\\" + temp + L"\\a\\..\\..\\x",
        L"\\\\?\\" + temp, L"\\\\?\\" + temp + L"\\.\\x", L"C:\\users\\me\\Temp\\quorila-test-10\\x",
        L"Z:\\tmp\\x", L"C:x", L"\\users\\me\\Temp\\quorila-test-1\\x"};
    for (const std::wstring& outside : outsides) {
        EXPECT_FALSE(liesBelow(outside, temp, work)) << testing::PrintToString(outside);
    }
    const std::vector<std::wstring> insides = {
        temp + L"\\backup", temp + L"/backup/", temp + L"\\\\backup", L"c:\\USERS\\me\\temp\\QUORILA-TEST-1\\x",
        temp + L"\\x\\..\\backup", L"\\\\?\\" + temp + L"\\backup", L"\\\\.\\" + temp + L"\\backup", L"backup", L".",
        L"..", L"..\\..\\x", temp + L"\\backup.", temp + L"\\" + std::wstring(hugeLength, L'a')};
    for (const std::wstring& inside : insides) {
        EXPECT_TRUE(liesBelow(inside, temp, work)) << testing::PrintToString(inside);
    }

    // Whole lines: the options are read as the updater reads them, quotes and shifts included.
    const SweepFolders folders{temp,          temp + L"\\release", temp + L"\\install",
                               temp + L"\\backup", temp + L"\\logs",    work};
    const std::vector<std::wstring> exePool = {L"Quorila.exe"};
    const std::wstring safe = L"--pid 4294967280 --source " + folders.release + L" --target " + folders.install
        + L" --backup " + folders.backup + L" --exe Quorila.exe --log " + folders.logs + L"\\u.log";
    EXPECT_TRUE(isSafeToRun(L"Q.exe", safe, folders, exePool));
    const std::vector<std::wstring> unsafeLines = {
        safe + L" --backup Z:\\",
        safe + L" --target \"\\\\?\\Z:\\\\\"",     // the quoted value is \\?\Z:\ .
        safe + L" --backup\"\" Z:\\",                 // the empty quotes vanish from the key
        safe + L" --log " + folders.release + L"\\x.log",
        safe + L" --exe ..\\..\\..\\windows\\system32\\cmd.exe",
        safe + L" --pid 40",
        safe + L" --pid \" +4\"",
        safe + L" --source \"C:\\\\\" x",          // the value is C:\ , x is left over
    };
    for (const std::wstring& unsafe : unsafeLines) {
        EXPECT_FALSE(isSafeToRun(L"Q.exe", unsafe, folders, exePool)) << testing::PrintToString(unsafe);
    }
}

TEST(BadInputSlow, GeneratedCommandLinesNeverCrashLeaveAProbeOrChangeARefusedRun)
{
    UpdateSetup setup;
    // A release and an installation whose executable cannot start: a run that gets through never
    // leaves a program running that could change the folders after the updater's end.
    Tree oldInstall = setup.oldInstall;
    Tree newRelease = setup.newRelease;
    oldInstall[L"Quorila.exe"] = "old, not a program";
    newRelease[L"Quorila.exe"] = "new, not a program";
    useTrees(setup, oldInstall, newRelease);
    const SweepFolders folders{setup.temp.path(), setup.release, setup.install, setup.backup,
                               setup.temp / L"logs", setup.temp / L"work\\a\\b"};
    makeFolder(folders.work);
    makeFolder(folders.logs);
    const CurrentFolder currentFolder(folders.work);
    ASSERT_TRUE(currentFolder.set());

    // Back to the trees above and nothing else but the log folder and the (empty) current folder:
    // a run that got through may have made folders anywhere inside the temporary folder.
    auto removeAllBut = [](const std::wstring& folder, const std::vector<std::wstring>& kept) {
        std::error_code error;
        std::vector<std::wstring> entries;
        for (FolderListing listing(folder, FolderListing::Depth::plain, error); !error && !listing.atEnd();
             listing.increment(error)) {
            entries.push_back(listing.path());
        }
        for (const auto& entry : entries) {
            if (std::find(kept.begin(), kept.end(), entry) == kept.end()) {
                removeTree(entry, error);
                EXPECT_FALSE(error) << testing::PrintToString(entry);
            }
        }
    };
    auto restore = [&] {
        const std::wstring work = folders.temp + L"\\work";
        removeAllBut(folders.temp, {folders.logs, work});
        removeAllBut(work, {work + L"\\a"});
        removeAllBut(work + L"\\a", {folders.work});
        removeAllBut(folders.work, {});
        makeFolder(folders.work);
        makeFolder(folders.logs);
        SetCurrentDirectoryW(folders.work.c_str());
        writeTree(setup.release, newRelease);
        writeTree(setup.install, oldInstall);
    };
    restore();

    const std::wstring updater = binProgram(L"QuorilaUpdater.exe");
    LineGenerator generator(folders, generatorSeed);
    std::map<unsigned long, int> codes;
    int crashes = 0;
    int refusedLines = 0;
    int changes = 0;
    int probes = 0;
    FolderState before = stateOf(folders);
    const ULONGLONG started = GetTickCount64();
    for (int run = 0; run < commandLineCount; ++run) {
        std::wstring arguments = generator.arguments();
        while (!isSafeToRun(updater, arguments, folders, generator.exePool())) {
            ++refusedLines;
            arguments = generator.arguments();
        }
        auto process = startProgram(updater, arguments);
        ASSERT_TRUE(process.has_value()) << "cannot start: " << testing::PrintToString(shortened(arguments));
        auto code = waitForExit(*process, 30000);
        if (!code) {
            TerminateProcess(process->handles.process.get(), 1);
            WaitForSingleObject(process->handles.process.get(), INFINITE);
        }
        process.reset();

        const FolderState after = stateOf(folders);
        const bool crashed = !code || !(*code == 0 || (*code >= 10 && *code <= 22));
        ++codes[code ? *code : 0xFFFFFFFFul];
        if (crashed) {
            ++crashes;
            ADD_FAILURE() << "exit code " << (code ? std::to_string(*code) : "none (hangs)") << " for:"
                          << readBack(updater, arguments);
        }
        if (!after.probes.empty()) {
            ++probes;
            ADD_FAILURE() << "probe file left: " << testing::PrintToString(after.probes.front()) << " by:"
                          << readBack(updater, arguments);
        }
        const bool refused = code && *code >= 10 && *code <= 13;
        // A refused run may write its log (not with 10); nothing else may change.
        const bool unchanged = code == 10u ? after.entries == before.entries
                                           : outsideLogs(after, folders) == outsideLogs(before, folders);
        if (refused && !unchanged) {
            ++changes;
            ADD_FAILURE() << "exit code " << *code << " but the folders changed:"
                          << differences(code == 10u ? before.entries : outsideLogs(before, folders),
                                         code == 10u ? after.entries : outsideLogs(after, folders))
                          << readBack(updater, arguments);
        }
        if (!refused || !after.probes.empty()) {
            restore();
            before = stateOf(folders);
        } else {
            before = after;
        }
    }
    const ULONGLONG seconds = (GetTickCount64() - started) / 1000;

    std::string histogram;
    for (const auto& [code, count] : codes) {
        histogram += " " + (code == 0xFFFFFFFFul ? std::string("none") : std::to_string(code)) + ":"
            + std::to_string(count);
    }
    std::printf("%d command lines, %d crashes (%d probe files left, %d refused runs that changed a folder; %d "
                "generated lines thrown away as unsafe; %llu s; exit codes%s)\n",
                commandLineCount, crashes, probes, changes, refusedLines, static_cast<unsigned long long>(seconds),
                histogram.c_str());
    EXPECT_EQ(crashes, 0);
    EXPECT_EQ(probes, 0);
    EXPECT_EQ(changes, 0);
    restore();
    EXPECT_EQ(snapshot(setup.release), newRelease);
}

} // namespace
} // namespace quorila::test
