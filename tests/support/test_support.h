#pragma once

// What the Windows tests share: a folder per test, trees written and read back whole, programs of
// the build started (the updater, the stand-in application), files held open, links, and the log.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/unique_handle.h"

namespace quorila::test {

// A fresh folder for one test; removing it at the end must succeed (a handle left open fails it).
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const;

private:
    std::wstring path_;
};

// Entries below a root by relative path: a file maps to its content, a folder to "<dir>", a link
// (never entered) to "<link>". Listed by the platform itself, so long paths read whole.
using Tree = std::map<std::wstring, std::string>;
Tree snapshot(const std::wstring& root);
void writeTree(const std::wstring& root, const Tree& tree);
void writeFile(const std::wstring& path, const std::string& content);
std::optional<std::string> readFile(const std::wstring& path);
bool exists(const std::wstring& path);
// The path with its last element in its short (8.3) form; a test failure when it has none.
std::wstring shortPath(const std::wstring& path);

// A program beside the test program (the updater, fake_quorila.exe).
std::wstring binProgram(const std::wstring& name);
struct Started {
    ProcessHandles handles;
    std::uint32_t id = 0;
};
std::optional<Started> start(const std::wstring& program, const std::wstring& arguments);
std::optional<unsigned long> waitForExit(Started& process, unsigned long milliseconds = 120000);
std::optional<unsigned long> run(const std::wstring& program, const std::wstring& arguments);
bool waitUntil(const std::function<bool()>& condition, unsigned milliseconds = 10000);

// The log's messages without their time stamps. Every line must be "[Y-M-D h:m:s] text" + CR LF
// in UTF-8 without a byte-order mark, numbers without leading zeros; a line that is not fails
// the test.
std::vector<std::wstring> logMessages(const std::wstring& path);

// A symbolic link at `path` to `target` (made by the Unix `ln -s`: the tests run under Wine),
// removed as itself at the end if still there.
class Link {
public:
    Link(const std::wstring& target, const std::wstring& path);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

// The stand-in application's record of its starts in `folder`, a line each ("exe=...\tcwd=...\tcmd=
// ...\tversion=..." + CR LF), once it holds `lines` lines or 20 s have passed.
std::wstring startLog(const std::wstring& folder, std::size_t lines);

} // namespace quorila::test
