// Generated, malformed command lines against the real updater: wrong and misspelt option names,
// missing values, odd token counts, huge values, odd separators, device prefixes, short names,
// quotes, Turkish letters and empty tokens, handed to CreateProcessW as raw text so that odd
// quoting is tested as well. The updater must never crash, never leave its probe file behind, and
// never change the release, install or backup tree when it refuses to start (codes 10 to 13).
//
// Why no line can reach anything outside the test's temporary folder T (whose own path holds no
// blank, quote or "..", checked first):
// - Every path value (--source, --target, --backup, --log, --exe) comes from a closed list: a
//   spelling of a path strictly below T (T's path with '\' or '/', doubled or trailing separators,
//   other letter case, behind "\\?\", a short name below it), a relative path (which lies below
//   the current folder, a subfolder of T for the whole sweep), or empty. No value holds "..", a
//   colon other than its drive's, a blank at its end, or a blank followed by a separator or digit.
// - Every other token (option names, garbage, process ids) holds no separator, colon or "..";
//   huge ones hold a character no file name may hold; process ids are garbage or numbers far
//   beyond any live process.
// - Path values are always written as quoteArgument writes them; the raw quoting tricks (bare,
//   half quoted, stray or empty quotes) are used only on the other tokens, and only on those
//   without blanks that do not start with a quote.
// Whatever the splitter makes of a line, each argument therefore starts with a whole path value,
// with the text after a blank inside a value (a relative name), or with another token; none of
// these, nor what may be joined behind it, names a root, another drive or a folder outside T.
// Each line's arguments are checked against this before it runs (a broken list stops the test).

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "driver/release_package.h"
#include "e2e/e2e_support.h"
#include "folders/install_clearing.h"
#include "folders/path_grammar.h"
#include "process/relaunch.h"

namespace quorila::test {
namespace {

constexpr std::uint32_t generatorSeed = 20240611;
// Each line costs 100 to 160 ms under Wine (mostly starting the process), so 600 take about 90 s.
constexpr int commandLineCount = 600;
// A value as long as a command line allows (CreateProcessW takes at most 32,767 units in all).
constexpr std::size_t hugeLength = 30000;
const std::wstring probePrefix = L".quorila_updater_write_";
// The sweep's folders and a file, below T.
const std::wstring releaseName = L"sürüm", installName = L"Program Files\\Quorila", backupName = L"yedek",
                   logsName = L"kayıtlar", workName = L"çalışma", notesName = L"notlar.txt";

std::wstring asciiCase(std::wstring text, bool upper)
{
    for (wchar_t& c : text) {
        if (upper ? (c >= L'a' && c <= L'z') : (c >= L'A' && c <= L'Z')) {
            c = static_cast<wchar_t>(c + (upper ? L'A' - L'a' : L'a' - L'A'));
        }
    }
    return text;
}

std::wstring replaced(std::wstring text, wchar_t from, const std::wstring& to)
{
    for (std::size_t at = text.find(from); at != std::wstring::npos; at = text.find(from, at + to.size())) {
        text.replace(at, 1, to);
    }
    return text;
}

// The construction's promise on the arguments as the updater splits them: none holds "..", none is
// a small process id, each is relative or a spelling of a path strictly below `temp`. Empty when
// kept, else the first argument that breaks it.
std::wstring brokenPromise(const std::wstring& commandLine, const std::wstring& temp)
{
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(commandLine.c_str(), &count);
    const std::vector<std::wstring> arguments(argv ? argv + 1 : nullptr, argv ? argv + count : nullptr);
    LocalFree(argv);
    const std::wstring base = asciiCase(temp, false) + L"\\";
    for (const std::wstring& argument : arguments) {
        const auto pid = parseProcessId(argument);
        std::wstring text = argument.substr(std::min(argument.size(), argument.find_first_not_of(L" \t")));
        const bool device = text.starts_with(L"\\\\?\\");
        text = replaced(asciiCase(text.substr(device ? 4 : 0), false), L'/', L"\\");
        text.erase(std::unique(text.begin(), text.end(), [](wchar_t a, wchar_t b) { return a == L'\\' && a == b; }),
                   text.end());
        const bool rooted = device || text.starts_with(L"\\") || text.find(L':') == 1;
        const bool belowTemp = text.starts_with(base)
            && text.substr(base.size(), text.find(L'\\', base.size()) - base.size()).find_first_not_of(L". ")
                != std::wstring::npos;
        if ((pid && *pid < 100000000u) || text.find(L"..") != std::wstring::npos || (rooted && !belowTemp)) {
            return argument.substr(0, 300);
        }
    }
    return {};
}

// t + '\' + `rest` in the ways a caller might write it.
std::vector<std::wstring> spellings(const std::wstring& t, const std::wstring& rest)
{
    const std::wstring plain = t + L"\\" + rest;
    const std::size_t cut = std::min(rest.size(), rest.find(L'\\'));
    return {plain, replaced(plain, L'\\', L"/"), t + L"\\" + replaced(rest, L'\\', L"/"), t + L"\\\\" + rest,
            t + L"\\" + replaced(rest, L'\\', L"\\\\"), plain + L"\\", plain + L"/", plain + L"\\\\",
            asciiCase(plain, true), asciiCase(plain, false), L"\\\\?\\" + plain,
            L"\\\\?\\" + asciiCase(t, true) + L"\\" + rest + L"\\",
            // quotes around the first name below T: a new, odd name, still inside T
            t + L"\\\"" + rest.substr(0, cut) + L"\"" + rest.substr(cut)};
}

class LineGenerator {
public:
    LineGenerator(const std::wstring& t, std::uint32_t seed) : random_(seed)
    {
        own_ = {{L"--source", spellings(t, releaseName)},
                {L"--target", spellings(t, installName)},
                {L"--backup", spellings(t, backupName)}};
        for (const auto& rest : {releaseName, installName, backupName, installName + L"\\data", releaseName + L"\\data",
                                 workName, logsName, notesName, std::wstring(L"yeni"), std::wstring(L"yeni\\alt"),
                                 std::wstring(L"başka klasör"), std::wstring(L"İSTANBUL ğüşıöç"),
                                 std::wstring(L"PROGRA~1\\Quorila")}) {
            std::ranges::copy(spellings(t, rest), std::back_inserter(folders_));
        }
        for (const auto& rest : {logsName + L"\\güncelleme.log", logsName + L"\\alt klasör\\ş.log",
                                 logsName + L"\\ŞİĞ.log", logsName, notesName}) {
            std::ranges::copy(spellings(t, rest), std::back_inserter(own_[L"--log"]));
        }
        folders_.insert(folders_.end(), {L"", L"yeni", L"alt\\klasör", L"alt/klasör/", L"Files\\Quorila", L"ş ğ"});
        own_[L"--log"].insert(own_[L"--log"].end(), {L"", L"kayıt.log", L"alt\\kayıt.log", L"alt//kayıt.log\\"});
        // The installation's folder by its short (8.3) names, below the long path of T.
        std::wstring shortTemp(32768, L'\0'), shortInstall(32768, L'\0');
        shortTemp.resize(GetShortPathNameW(t.c_str(), shortTemp.data(), 32768));
        shortInstall.resize(GetShortPathNameW((t + L"\\" + installName).c_str(), shortInstall.data(), 32768));
        if (!shortTemp.empty() && shortInstall.starts_with(shortTemp + L"\\")) {
            own_[L"--target"].push_back(t + shortInstall.substr(shortTemp.size()));
        }
    }

    // The text after the program: the six options shuffled and mutated, with extra and missing
    // tokens, written with varying quoting.
    std::wstring arguments()
    {
        huge_ = false;
        std::vector<std::wstring> names = {L"--pid", L"--source", L"--target", L"--backup", L"--exe", L"--log"};
        std::shuffle(names.begin(), names.end(), random_);
        std::vector<Token> tokens;
        for (const auto& name : names) {
            if (!chance(0.02)) {
                tokens.insert(tokens.end(), {{chance(0.97) ? name : optionName(name), false}, value(name)});
            }
        }
        for (int extra = chance(0.15) ? 1 + static_cast<int>(index(3)) : 0; extra > 0; --extra) {
            tokens.insert(tokens.begin() + 2 * static_cast<std::ptrdiff_t>(index(tokens.size() / 2 + 1)),
                          {{pick(junkNames_), false}, {hugeOr(L'ğ', pick(junkValues_)), false}});
        }
        if (chance(0.15)) {
            const std::wstring name = pick(names);
            tokens.insert(tokens.end(), {{name, false}, value(name)});
        }
        auto anywhere = [&](std::size_t more) {
            return tokens.begin() + static_cast<std::ptrdiff_t>(index(tokens.size() + more));
        };
        if (chance(0.04) && !tokens.empty()) {
            tokens.erase(anywhere(0));
        }
        if (chance(0.03)) {
            tokens.insert(anywhere(1), {L"", false});
        }
        if (chance(0.03)) {
            tokens.push_back({pick(junkNames_), false});
        }
        std::wstring text = chance(0.03) ? L" " : L"";
        for (std::size_t at = 0; at < tokens.size(); ++at) {
            text += (at > 0 ? pick({L" ", L" ", L" ", L"  ", L"\t", L" \t "}) : std::wstring()) + render(tokens[at]);
        }
        return text;
    }

private:
    struct Token {
        std::wstring text;
        bool path; // written exactly, never by a trick
    };

    bool chance(double probability) { return std::uniform_real_distribution<double>(0, 1)(random_) < probability; }
    std::size_t index(std::size_t size) { return std::uniform_int_distribution<std::size_t>(0, size - 1)(random_); }
    std::wstring pick(const std::vector<std::wstring>& pool) { return pool[index(pool.size())]; }

    std::wstring optionName(const std::wstring& name)
    {
        const std::wstring bare = name.substr(2);
        return pick({L"--" + asciiCase(bare, true), L"-" + bare, L"\u2014" + bare, L"---" + bare, name + L"=", L"--",
                     name + L"\u0131", L"\u00a0" + name, name + L"\u00a0", L"", name + L"\"x"});
    }

    Token value(const std::wstring& name)
    {
        if (name == L"--pid") {
            return {hugeOr(L'9', chance(0.5) ? std::to_wstring(UpdateSetup::goneProcessId) : pick(pids_)), false};
        }
        if (name == L"--exe") {
            return {chance(0.6) ? std::wstring(L"Quorila.exe") : pick(exeNames_), true};
        }
        return {pick(name == L"--log" || chance(0.5) ? own_.at(name) : folders_), true};
    }

    // Now and then, once a line at most (so that it fits), a huge text no file name may hold.
    std::wstring hugeOr(wchar_t unit, const std::wstring& text)
    {
        const bool huge = !huge_ && chance(0.03);
        huge_ = huge_ || huge;
        return huge ? std::wstring(hugeLength, unit) + L"<" : text;
    }

    // Path values, and tokens with blanks or a leading quote, as quoteArgument writes them; others
    // at times bare, naively or half quoted, after or before empty quotes, or with a stray quote.
    std::wstring render(const Token& token)
    {
        const std::wstring& t = token.text;
        if (token.path || t.empty() || t.front() == L'"' || t.find_first_of(L" \t") != std::wstring::npos
            || chance(0.85)) {
            return quoteArgument(t);
        }
        const std::size_t cut = 1 + index(t.size());
        return pick({t, L"\"" + t + L"\"", t.substr(0, cut) + L"\"" + t.substr(cut) + L"\"", L"\"\"" + t,
                     t + L"\"\"", t + L"\""});
    }

    std::mt19937 random_;
    bool huge_ = false;
    std::map<std::wstring, std::vector<std::wstring>> own_; // each option's own folder; the logs
    std::vector<std::wstring> folders_;                      // any folder inside T, or relative
    const std::vector<std::wstring> exeNames_ = {
        L"", L"quorila.EXE", L"QUORILA.EXE", L" Quorila.exe", L"Quorila", L"data", L"version.txt", L"yok.exe",
        L"alt\\Quorila.exe", L"data\\ayar.ini", L"Quorila.exe\\", L"data/", L"*.exe", L"Quorila?.exe",
        L"Kurulum İçin Çalıştır.exe", L"Quorila.exe\"", L"\"Quorila.exe\""};
    // Never a small number in any form: that could be a live process of the prefix.
    const std::vector<std::wstring> pids_ = {
        L"4294967295", L"4000000000", L"123456789", L"-1", L"-4", L"+4000000000", L" 4000000000", L"\t4000000000",
        L"0004000000000", L"99999999999999999999", L"4294967296", L"0", L"000", L"", L"abc", L"42abc", L"0x10",
        L"1.5", L"1e3", L"--pid", L"\"4000000000\"", L"\u0130",
        L"\u0664\u0660\u0660\u0660\u0660\u0660\u0660\u0660\u0660\u0660", // Arabic-Indic digits
        L"\uff14\uff10\uff10\uff10\uff10\uff10\uff10\uff10\uff10\uff10"}; // full-width digits
    const std::vector<std::wstring> junkNames_ = {L"--foo", L"--", L"--PID", L"-pid", L"x", L"", L"--source", L"--lög",
                                                  L"\"", L"--pid=1", L"\u2014\u2014target"};
    const std::vector<std::wstring> junkValues_ = {L"",    L"bar", L"\"", L"--exe", L"ç ğ ı ö ş ü", L"a\"b",
                                                   L"a<b", L"*?",  L"|",  L"x\"y\"z"};
};

// The entries of a snapshot of T in the release, install and backup trees.
Tree treesOf(const Tree& all)
{
    Tree trees;
    for (const auto& name : {releaseName, installName, backupName}) {
        std::ranges::copy_if(all, std::inserter(trees, trees.end()), [&](const auto& entry) {
            return entry.first == name || entry.first.starts_with(name + L"\\");
        });
    }
    return trees;
}

TEST(BadInputSlow, GeneratedCommandLinesNeverCrashLeaveAProbeOrChangeARefusedRun)
{
    TempFolder temp;
    const std::wstring& t = temp.path();
    ASSERT_TRUE(t.size() > 3 && t[1] == L':' && t[2] == L'\\' && t.back() != L'\\');
    ASSERT_EQ(t.find_first_of(L" \t\"/"), std::wstring::npos);
    ASSERT_EQ(t.find(L".."), std::wstring::npos);
    const std::wstring updater = binProgram(L"QuorilaUpdater.exe");
    // The check before each line refuses what the construction must never make.
    const std::vector<std::wstring> unsafeLines = {
        L"--backup Z:\\", L"--backup\"\" \"C:\\\\\"", L"--target \\x", L"--pid 40", L"--source \\\\?\\" + t,
        L"--log " + t + L"\\..\\x", L"--target " + t + L"\\\\\\", L"--target " + t + L"/. "};
    for (const std::wstring& unsafe : unsafeLines) {
        EXPECT_NE(brokenPromise(L"\"" + updater + L"\" " + unsafe, t), L"") << testing::PrintToString(unsafe);
    }
    // Executables that cannot start: a run that gets through leaves no program running.
    const Tree release = {{L"Quorila.exe", "new, not a program"}, {L"version.txt", "2"}, {L"data", "<dir>"},
                          {L"data\\ayar.ini", "new"}, {L"data\\boş", "<dir>"}, {L"yeni özellik.txt", "new"}};
    const Tree install = {{L"Quorila.exe", "old, not a program"}, {L"version.txt", "1"}, {L"data", "<dir>"},
                          {L"data\\ayar.ini", "old"}, {L"unins000.exe", "uninstaller"}};
    // The updater inherits the current folder: a subfolder of T for the whole sweep.
    struct FolderBack {
        std::wstring path = std::wstring(32768, L'\0');
        FolderBack() { path.resize(GetCurrentDirectoryW(32768, path.data())); }
        ~FolderBack() { SetCurrentDirectoryW(path.c_str()); }
    } folderBack;
    // T anew: the three trees, the log folder, a file and the (empty) current folder, nothing else.
    auto restore = [&] {
        std::error_code error;
        SetCurrentDirectoryW(folderBack.path.c_str());
        removeTree(t, error);
        EXPECT_FALSE(error) << "cannot clear the test folder";
        writeTree(t + L"\\" + releaseName, release);
        writeTree(t + L"\\" + installName, install);
        writeTree(t + L"\\" + backupName, {{L"eski yedek.txt", "stale"}});
        makeFolder(t + L"\\" + logsName);
        makeFolder(t + L"\\" + workName);
        writeFile(t + L"\\" + notesName, "notes");
        return SetCurrentDirectoryW((t + L"\\" + workName).c_str()) != FALSE;
    };
    ASSERT_TRUE(restore());

    LineGenerator generator(t, generatorSeed);
    std::map<std::string, int> codes;
    int crashes = 0, probes = 0, changes = 0;
    Tree before = snapshot(t);
    for (int run = 0; run < commandLineCount; ++run) {
        const std::wstring arguments = generator.arguments();
        const std::string line = testing::PrintToString(arguments.substr(0, 400));
        ASSERT_LT(arguments.size(), 32000u);
        ASSERT_EQ(brokenPromise(L"\"" + updater + L"\" " + arguments, t), L"") << line;
        auto process = startProgram(updater, arguments);
        ASSERT_TRUE(process.has_value()) << "cannot start: " << line;
        const auto code = waitForExit(*process, 30000);
        if (!code) {
            TerminateProcess(process->handles.process.get(), 1);
            WaitForSingleObject(process->handles.process.get(), INFINITE);
        }
        process.reset();

        const Tree after = snapshot(t);
        ++codes[code ? std::to_string(*code) : "none"];
        if (!code || (*code != 0 && (*code < 10 || *code > 22))) {
            ++crashes;
            ADD_FAILURE() << "exit code " << (code ? std::to_string(*code) : "none (hangs)") << " for " << line;
        }
        const bool probeLeft = std::ranges::any_of(after, [](const auto& entry) {
            return fileName(entry.first).starts_with(probePrefix);
        });
        if (probeLeft) {
            ++probes;
            ADD_FAILURE() << "probe file left by " << line;
        }
        // Code 10 comes before the log is opened: nothing at all may change. 11 to 13 write the log.
        const bool refused = code && *code >= 10 && *code <= 13;
        const Tree was = code == 10u ? before : treesOf(before);
        const Tree is = code == 10u ? after : treesOf(after);
        if (refused && was != is) {
            ++changes;
            ADD_FAILURE() << "exit code " << *code << " but the folders changed, by " << line;
        }
        if (!refused || probeLeft) {
            ASSERT_TRUE(restore());
        }
        before = refused && !probeLeft ? after : snapshot(t);
    }

    std::string histogram;
    for (const auto& [code, count] : codes) {
        histogram += " " + code + ":" + std::to_string(count);
    }
    std::printf("%d command lines, %d crashes (%d probe files left, %d refused runs that changed a folder; "
                "exit codes%s)\n",
                commandLineCount, crashes, probes, changes, histogram.c_str());
    EXPECT_EQ(crashes, 0);
    EXPECT_EQ(probes, 0);
    EXPECT_EQ(changes, 0);
}

} // namespace
} // namespace quorila::test
