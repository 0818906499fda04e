// The path grammar against the standard library's own path type as MinGW builds it for Windows.
// Both take a great many generated texts apart; where they disagree, the disagreement must be
// one of the named kinds below, each a known way in which this libstdc++ reads Windows paths
// differently from the grammar (the grammar follows what Windows itself does). Anything else
// fails the test with examples.

#include "folders/path_grammar.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace quorila {
namespace {

namespace fs = std::filesystem;

enum class Piece { RootName, RootDirectory, RootPath, RelativePart, ParentPath, FileName, Absolute, Join };

const char* pieceName(Piece piece)
{
    switch (piece) {
    case Piece::RootName:
        return "root name";
    case Piece::RootDirectory:
        return "root directory";
    case Piece::RootPath:
        return "root path";
    case Piece::RelativePart:
        return "relative part";
    case Piece::ParentPath:
        return "parent path";
    case Piece::FileName:
        return "file name";
    case Piece::Absolute:
        return "absolute";
    case Piece::Join:
        return "join";
    }
    return "?";
}

// One piece of one text (or the join of two) on which the grammar and fs::path differ.
struct Disagreement {
    Piece piece;
    std::wstring path;   // the text taken apart, or the folder of a join
    std::wstring second; // the name of a join
    std::wstring ours;
    std::wstring theirs;
};

bool isAsciiLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// The piece as the grammar gives it, and as fs::path gives it.
std::wstring ourPiece(Piece piece, const std::wstring& path, const std::wstring& second)
{
    switch (piece) {
    case Piece::RootName:
        return std::wstring(rootName(path));
    case Piece::RootDirectory:
        return std::wstring(rootDirectory(path));
    case Piece::RootPath:
        return std::wstring(rootPath(path));
    case Piece::RelativePart:
        return std::wstring(relativePart(path));
    case Piece::ParentPath:
        return std::wstring(parentPath(path));
    case Piece::FileName:
        return std::wstring(fileName(path));
    case Piece::Absolute:
        return isAbsolute(path) ? L"absolute" : L"relative";
    case Piece::Join:
        return joinPath(path, second);
    }
    return {};
}

std::wstring theirPiece(Piece piece, const std::wstring& text, const std::wstring& second)
{
    const fs::path path(text);
    switch (piece) {
    case Piece::RootName:
        return path.root_name().native();
    case Piece::RootDirectory:
        return path.root_directory().native();
    case Piece::RootPath:
        return path.root_path().native();
    case Piece::RelativePart:
        return path.relative_path().native();
    case Piece::ParentPath:
        return path.parent_path().native();
    case Piece::FileName:
        return path.filename().native();
    case Piece::Absolute:
        return path.is_absolute() ? L"absolute" : L"relative";
    case Piece::Join:
        return (path / fs::path(second)).native();
    }
    return {};
}

bool isExplained(const Disagreement& d);

// libstdc++ takes any unit but a separator followed by ':' for a drive ("?:", "::", ".:"). Windows knows only
// the letters A to Z as drives, and so does the grammar. Checked by putting a letter in the
// unit's place: fs::path must read the text just as before (the letter put back), and on that
// text the two must agree or differ only in another named way.
bool isNonLetterDrive(std::wstring_view path)
{
    return path.size() >= 2 && path[1] == L':' && !isAsciiLetter(path[0]) && !isSeparator(path[0]);
}

bool nonLetterDrive(const Disagreement& d)
{
    if (!isNonLetterDrive(d.path) && !isNonLetterDrive(d.second)) {
        return false;
    }
    // Stand-in letters outside the alphabet of the generated texts; one unit keeps one letter.
    std::wstring path = d.path;
    std::wstring second = d.second;
    if (isNonLetterDrive(path)) {
        path[0] = L'Q';
    }
    if (isNonLetterDrive(second)) {
        second[0] = (isNonLetterDrive(d.path) && d.path[0] == d.second[0]) ? L'Q' : L'R';
    }
    std::wstring theirs = theirPiece(d.piece, path, second);
    for (wchar_t& c : theirs) {
        if (c == L'Q') {
            c = d.path[0];
        } else if (c == L'R') {
            c = d.second[0];
        }
    }
    if (theirs != d.theirs) {
        return false;
    }
    const std::wstring ours = ourPiece(d.piece, path, second);
    const std::wstring theirsWithLetters = theirPiece(d.piece, path, second);
    return ours == theirsWithLetters || isExplained(Disagreement{d.piece, path, second, ours, theirsWithLetters});
}

// This libstdc++ reads no root name behind two leading separators: "\\server" (and with it the
// device prefixes "\\?" and "\\.") is to it a root directory followed by a relative path; nor
// does it know the "\??" device prefix. Windows reads these as server and device names, and so
// does the grammar. Checked: fs::path finds no root name in the text, and the grammar's root name
// is the leading separators with the first element that fs::path reads after them.
bool hasSeparatorRootName(const std::wstring& text)
{
    const std::wstring_view name = rootName(text);
    if (name.empty() || !isSeparator(name[0])) {
        return false;
    }
    const fs::path path(text);
    if (!path.root_name().empty()) {
        return false;
    }
    const std::wstring relative = path.relative_path().native();
    std::size_t separators = 0;
    while (separators < text.size() && isSeparator(text[separators])) {
        ++separators;
    }
    std::size_t element = 0;
    while (element < relative.size() && !isSeparator(relative[element])) {
        ++element;
    }
    return name == std::wstring_view(text).substr(0, separators + element);
}

bool serverOrDeviceRootName(const Disagreement& d)
{
    return hasSeparatorRootName(d.path) || hasSeparatorRootName(d.second);
}

// Texts on which libstdc++ sees another root name than the grammar does.
bool otherRootName(const std::wstring& path)
{
    return isNonLetterDrive(path) || hasSeparatorRootName(path);
}

// libstdc++ keeps one separator of the root directory: the first of the run as written (the
// preferred '\\' when the text is nothing but a root directory), so its root path, and a parent
// path that is the root path, end in that one separator. The grammar keeps the whole run.
bool rootDirectoryAsOneSeparator(const Disagreement& d)
{
    const std::wstring_view directory = rootDirectory(d.path);
    // Their root directory alone, or their root path: root name and one separator.
    const std::wstring_view name = d.piece == Piece::RootDirectory ? std::wstring_view() : rootName(d.path);
    if (directory.empty() || otherRootName(d.path) || d.theirs.size() != name.size() + 1 ||
        d.theirs.compare(0, name.size(), name) != 0) {
        return false;
    }
    const wchar_t kept = d.theirs.back();
    if (kept != directory.front() && kept != L'\\') {
        return false;
    }
    switch (d.piece) {
    case Piece::RootDirectory:
        return d.ours == directory;
    case Piece::RootPath:
    case Piece::ParentPath:
        return d.ours == rootPath(d.path);
    default:
        return false;
    }
}

struct NamedException {
    const char* name;
    bool (*explains)(const Disagreement&);
};

const NamedException namedExceptions[] = {
    {"non-letter drive", nonLetterDrive},
    {"server or device root name", serverOrDeviceRootName},
    {"root directory as one separator", rootDirectoryAsOneSeparator},
};

bool isExplained(const Disagreement& d)
{
    for (const NamedException& exception : namedExceptions) {
        if (exception.explains(d)) {
            return true;
        }
    }
    return false;
}

// --- Comparing ---

class Comparison {
public:
    void takeApart(const std::wstring& text)
    {
        for (Piece piece : {Piece::RootName, Piece::RootDirectory, Piece::RootPath, Piece::RelativePart,
                            Piece::ParentPath, Piece::FileName, Piece::Absolute}) {
            compare(piece, text, std::wstring());
        }
        ++compared_;
    }

    void join(const std::wstring& folder, const std::wstring& name)
    {
        compare(Piece::Join, folder, name);
        ++compared_;
    }

    std::size_t compared() const { return compared_; }
    const std::map<std::string, std::size_t>& explained() const { return explained_; }
    const std::vector<Disagreement>& unexplained() const { return unexplained_; }
    std::size_t unexplainedCount() const { return unexplainedCount_; }

private:
    void compare(Piece piece, const std::wstring& path, const std::wstring& second)
    {
        std::wstring ours = ourPiece(piece, path, second);
        std::wstring theirs = theirPiece(piece, path, second);
        if (ours == theirs) {
            return;
        }
        Disagreement d{piece, path, second, std::move(ours), std::move(theirs)};
        for (const NamedException& exception : namedExceptions) {
            if (exception.explains(d)) {
                ++explained_[exception.name];
                return;
            }
        }
        ++unexplainedCount_;
        if (unexplained_.size() < 40) {
            unexplained_.push_back(std::move(d));
        }
    }

    std::size_t compared_ = 0;
    std::map<std::string, std::size_t> explained_;
    std::vector<Disagreement> unexplained_;
    std::size_t unexplainedCount_ = 0;
};

std::string shown(std::wstring_view text)
{
    std::string out = "\"";
    for (wchar_t c : text) {
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return out + "\"";
}

void expectNoOtherDisagreement(const Comparison& comparison)
{
    std::string report;
    for (const Disagreement& d : comparison.unexplained()) {
        report += std::string(pieceName(d.piece)) + " of " + shown(d.path);
        if (d.piece == Piece::Join) {
            report += " / " + shown(d.second);
        }
        report += ": grammar " + shown(d.ours) + ", fs::path " + shown(d.theirs) + "\n";
    }
    EXPECT_EQ(comparison.unexplainedCount(), 0u) << report;
    for (const auto& [name, count] : comparison.explained()) {
        std::printf("  %s: %zu\n", name.c_str(), count);
    }
}

constexpr wchar_t alphabet[] = {L'\\', L'/', L'a', L'b', L'C', L':', L'?', L'.', L' '};
constexpr std::size_t alphabetSize = sizeof alphabet / sizeof alphabet[0];

// Every text over the alphabet of exactly `length` units, in turn.
template <typename Visit>
void everyText(std::size_t length, Visit visit)
{
    std::vector<std::size_t> digits(length, 0);
    std::wstring text(length, L' ');
    for (;;) {
        for (std::size_t i = 0; i < length; ++i) {
            text[i] = alphabet[digits[i]];
        }
        visit(text);
        std::size_t position = length;
        while (position > 0 && ++digits[position - 1] == alphabetSize) {
            digits[position - 1] = 0;
            --position;
        }
        if (position == 0) {
            return;
        }
    }
}

std::wstring randomText(std::mt19937& random, std::size_t minLength, std::size_t maxLength)
{
    std::uniform_int_distribution<std::size_t> length(minLength, maxLength);
    std::uniform_int_distribution<std::size_t> unit(0, alphabetSize - 1);
    std::wstring text(length(random), L' ');
    for (wchar_t& c : text) {
        c = alphabet[unit(random)];
    }
    return text;
}

TEST(PathGrammarAgainstStd, TakesTextsApartAsFsPathDoesBarTheNamedExceptions)
{
    Comparison comparison;
    for (std::size_t length = 0; length <= 6; ++length) {
        everyText(length, [&](const std::wstring& text) { comparison.takeApart(text); });
    }
    std::mt19937 random(20240611);
    for (int i = 0; i < 200000; ++i) {
        comparison.takeApart(randomText(random, 7, 24));
    }
    EXPECT_GT(comparison.compared(), 700000u);
    expectNoOtherDisagreement(comparison);
}

TEST(PathGrammarAgainstStd, JoinsAsFsPathDoesBarTheNamedExceptions)
{
    Comparison comparison;
    std::vector<std::wstring> shortTexts;
    for (std::size_t length = 0; length <= 3; ++length) {
        everyText(length, [&](const std::wstring& text) { shortTexts.push_back(text); });
    }
    for (const std::wstring& folder : shortTexts) {
        for (const std::wstring& name : shortTexts) {
            comparison.join(folder, name);
        }
    }
    std::mt19937 random(7);
    for (int i = 0; i < 200000; ++i) {
        comparison.join(randomText(random, 0, 12), randomText(random, 0, 12));
    }
    EXPECT_GT(comparison.compared(), 800000u);
    expectNoOtherDisagreement(comparison);
}

} // namespace
} // namespace quorila
