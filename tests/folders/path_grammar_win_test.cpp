// The path grammar against the standard library's own path type as MinGW builds it for Windows.
// Both take a great many generated texts apart and join pairs of them; where they disagree, the
// disagreement must be one of the named kinds below, each a known way in which this libstdc++
// reads Windows paths differently from the grammar (the grammar follows what Windows itself does).
// Anything else fails the test with examples.

#include "folders/path_grammar.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "support/shown.h"

namespace quorila {
namespace {

namespace fs = std::filesystem;
using test::shown;
using Text = std::wstring;

// One piece of a text (or the join of two texts) as the grammar and as fs::path give it.
struct Piece {
    const char* name;
    Text (*ours)(const Text& path, const Text& second);
    Text (*theirs)(const fs::path& path, const fs::path& second);
};

Text absoluteOrNot(bool absolute)
{
    return absolute ? L"absolute" : L"relative";
}

enum { RootName, RootDirectory, RootPath, RelativePart, ParentPath, FileName, Absolute, Join };
const Piece pieces[] = {
    {"root name", [](const Text& p, const Text&) { return Text(rootName(p)); },
     [](const fs::path& p, const fs::path&) { return p.root_name().native(); }},
    {"root directory", [](const Text& p, const Text&) { return Text(rootDirectory(p)); },
     [](const fs::path& p, const fs::path&) { return p.root_directory().native(); }},
    {"root path", [](const Text& p, const Text&) { return Text(rootPath(p)); },
     [](const fs::path& p, const fs::path&) { return p.root_path().native(); }},
    {"relative part", [](const Text& p, const Text&) { return Text(relativePart(p)); },
     [](const fs::path& p, const fs::path&) { return p.relative_path().native(); }},
    {"parent path", [](const Text& p, const Text&) { return Text(parentPath(p)); },
     [](const fs::path& p, const fs::path&) { return p.parent_path().native(); }},
    {"file name", [](const Text& p, const Text&) { return Text(fileName(p)); },
     [](const fs::path& p, const fs::path&) { return p.filename().native(); }},
    {"absolute", [](const Text& p, const Text&) { return absoluteOrNot(isAbsolute(p)); },
     [](const fs::path& p, const fs::path&) { return absoluteOrNot(p.is_absolute()); }},
    {"join", [](const Text& p, const Text& s) { return joinPath(p, s); },
     [](const fs::path& p, const fs::path& s) { return (p / s).native(); }},
};

Text theirs(int piece, const Text& path, const Text& second)
{
    return pieces[piece].theirs(fs::path(path), fs::path(second));
}

struct Disagreement {
    int piece;
    Text path;   // the text taken apart, or the folder of a join
    Text second; // the name of a join
    Text ours;
    Text theirs;
};

// The name of the first named exception that explains the disagreement; nothing otherwise.
const char* explanation(const Disagreement& d);

// libstdc++ takes any unit but a separator before ':' for a drive ("?:", "::", ".:"). Windows knows
// only the letters A to Z as drives, and so does the grammar. Checked by putting a letter in the
// unit's place: fs::path must read the text just as before (the letter put back), and on that text
// the two must agree or differ only in another named way.
bool isNonLetterDrive(std::wstring_view text)
{
    return text.size() >= 2 && text[1] == L':' && !isSeparator(text[0])
        && !((text[0] >= L'A' && text[0] <= L'Z') || (text[0] >= L'a' && text[0] <= L'z'));
}

bool nonLetterDrive(const Disagreement& d)
{
    const bool first = isNonLetterDrive(d.path);
    const bool second = isNonLetterDrive(d.second);
    if (!first && !second) {
        return false;
    }
    // Stand-in letters outside the alphabet of the generated texts; one unit keeps one letter.
    Disagreement lettered{d.piece, d.path, d.second, {}, {}};
    if (first) {
        lettered.path[0] = L'Q';
    }
    if (second) {
        lettered.second[0] = first && d.path[0] == d.second[0] ? L'Q' : L'R';
    }
    lettered.ours = pieces[d.piece].ours(lettered.path, lettered.second);
    lettered.theirs = theirs(d.piece, lettered.path, lettered.second);
    Text back = lettered.theirs;
    for (wchar_t& c : back) {
        c = c == L'Q' ? d.path[0] : c == L'R' ? d.second[0] : c;
    }
    return back == d.theirs && (lettered.ours == lettered.theirs || explanation(lettered) != nullptr);
}

// This libstdc++ reads no root name behind two leading separators: "\\server" (and with it the
// device prefixes "\\?" and "\\.") is to it a root directory followed by a relative path; nor
// does it know the "\??" device prefix. Windows reads these as server and device names, and so
// does the grammar. Checked: fs::path finds no root name in the text, and the grammar's root name
// is the leading separators with the first element that fs::path reads after them.
bool hasSeparatorRootName(const Text& text)
{
    const std::wstring_view name = rootName(text);
    if (name.empty() || !isSeparator(name[0]) || !fs::path(text).root_name().empty()) {
        return false;
    }
    const Text relative = fs::path(text).relative_path().native();
    const std::size_t separators = text.find_first_not_of(L"\\/");
    const std::size_t element = std::min(relative.find_first_of(L"\\/"), relative.size());
    return separators != Text::npos && name == std::wstring_view(text).substr(0, separators + element);
}

bool serverOrDeviceRootName(const Disagreement& d)
{
    return hasSeparatorRootName(d.path) || hasSeparatorRootName(d.second);
}

// libstdc++ keeps one separator of the root directory: the first of the run as written (the
// preferred '\\' when the text is nothing but a root directory), so its root path, and a parent
// path that is the root path, end in that one separator. The grammar keeps the whole run.
bool rootDirectoryAsOneSeparator(const Disagreement& d)
{
    const std::wstring_view directory = rootDirectory(d.path);
    // Their root directory alone, or their root path: root name and one separator.
    const std::wstring_view name = d.piece == RootDirectory ? std::wstring_view() : rootName(d.path);
    if (directory.empty() || isNonLetterDrive(d.path) || hasSeparatorRootName(d.path)
        || d.theirs.size() != name.size() + 1 || d.theirs.compare(0, name.size(), name) != 0
        || (d.theirs.back() != directory.front() && d.theirs.back() != L'\\')) {
        return false;
    }
    return (d.piece == RootDirectory && d.ours == directory)
        || ((d.piece == RootPath || d.piece == ParentPath) && d.ours == rootPath(d.path));
}

const char* explanation(const Disagreement& d)
{
    const std::pair<const char*, bool (*)(const Disagreement&)> named[] = {
        {"non-letter drive", nonLetterDrive},
        {"server or device root name", serverOrDeviceRootName},
        {"root directory as one separator", rootDirectoryAsOneSeparator},
    };
    for (const auto& [name, explains] : named) {
        if (explains(d)) {
            return name;
        }
    }
    return nullptr;
}

// The disagreements met, by explanation, and examples of the unexplained ones.
struct Comparison {
    std::size_t compared = 0;
    std::size_t unexplained = 0;
    std::map<std::string, std::size_t> explained;
    std::string examples;

    void compare(int piece, const Text& path, const Text& second = {})
    {
        Disagreement d{piece, path, second, pieces[piece].ours(path, second), theirs(piece, path, second)};
        if (d.ours == d.theirs) {
            return;
        }
        if (const char* name = explanation(d)) {
            ++explained[name];
        } else if (++unexplained <= 40) {
            examples += std::string(pieces[piece].name) + " of " + shown(path)
                + (piece == Join ? " / " + shown(second) : "") + ": grammar " + shown(d.ours) + ", fs::path "
                + shown(d.theirs) + "\n";
        }
    }

    void takeApart(const Text& text)
    {
        for (int piece = RootName; piece < Join; ++piece) {
            compare(piece, text);
        }
        ++compared;
    }

    void join(const Text& folder, const Text& name)
    {
        compare(Join, folder, name);
        ++compared;
    }

    void expectNoOtherDisagreement() const
    {
        EXPECT_EQ(unexplained, 0u) << examples;
        for (const auto& [name, count] : explained) {
            std::printf("  %s: %zu\n", name.c_str(), count);
        }
    }
};

constexpr wchar_t alphabet[] = {L'\\', L'/', L'a', L'b', L'C', L':', L'?', L'.', L' '};

// Every text over the alphabet of at most `maxLength` units.
std::vector<Text> everyText(std::size_t maxLength)
{
    std::vector<Text> texts{Text()};
    for (std::size_t begin = 0; texts.back().size() < maxLength;) {
        const std::size_t end = texts.size();
        for (std::size_t i = begin; i < end; ++i) {
            for (wchar_t c : alphabet) {
                texts.push_back(texts[i] + c);
            }
        }
        begin = end;
    }
    return texts;
}

Text randomText(std::mt19937& random, std::size_t minLength, std::size_t maxLength)
{
    std::uniform_int_distribution<std::size_t> unit(0, std::size(alphabet) - 1);
    Text text(std::uniform_int_distribution<std::size_t>(minLength, maxLength)(random), L' ');
    for (wchar_t& c : text) {
        c = alphabet[unit(random)];
    }
    return text;
}

TEST(PathGrammarAgainstStd, TakesTextsApartAsFsPathDoesBarTheNamedExceptions)
{
    Comparison comparison;
    for (const Text& text : everyText(6)) {
        comparison.takeApart(text);
    }
    std::mt19937 random(20240611);
    for (int i = 0; i < 200000; ++i) {
        comparison.takeApart(randomText(random, 7, 24));
    }
    EXPECT_GT(comparison.compared, 700000u);
    comparison.expectNoOtherDisagreement();
}

TEST(PathGrammarAgainstStd, JoinsAsFsPathDoesBarTheNamedExceptions)
{
    Comparison comparison;
    const std::vector<Text> shortTexts = everyText(3);
    for (const Text& folder : shortTexts) {
        for (const Text& name : shortTexts) {
            comparison.join(folder, name);
        }
    }
    std::mt19937 random(7);
    for (int i = 0; i < 200000; ++i) {
        comparison.join(randomText(random, 0, 12), randomText(random, 0, 12));
    }
    EXPECT_GT(comparison.compared, 800000u);
    comparison.expectNoOtherDisagreement();
}

} // namespace
} // namespace quorila
