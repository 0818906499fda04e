#pragma once

// Shared tools of the Windows test programs: a temporary folder per test, small file helpers,
// snapshots of whole trees, and starting programs of the build (the updater, the helpers).

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "log/update_log.h"
#include "base/unique_handle.h"

namespace quorila::test {

// A fresh, empty folder for one test. Its removal at the end must succeed: a handle that the code
// under test left open (or a file it left read-only) fails the test.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& path() const { return path_; }
    // path() joined with a relative name.
    std::wstring operator/(const std::wstring& name) const;

private:
    std::wstring path_;
};

// Writes `content` to `path`, creating the folders above it.
void writeFile(const std::wstring& path, const std::string& content);
// The whole file, or nothing when it cannot be read.
std::optional<std::string> readFile(const std::wstring& path);
bool exists(const std::wstring& path);
bool isFolder(const std::wstring& path);
void makeFolder(const std::wstring& path);

// Every entry below `root` by relative path ('\' separated): files map to their content,
// folders to "<dir>". Empty for a missing root.
using Tree = std::map<std::wstring, std::string>;
Tree snapshot(const std::wstring& root);
// Writes a tree (as snapshot() gives it) below `root`.
void writeTree(const std::wstring& root, const Tree& tree);

// The folder holding this test program, the updater and the helper programs.
std::wstring binFolder();
// binFolder() joined with a program name such as L"QuorilaUpdater.exe".
std::wstring binProgram(const std::wstring& name);

// A program started by a test; the handles are closed when it goes.
struct StartedProcess {
    ProcessHandles handles;
    std::uint32_t processId = 0;
};
// Starts `program` with the command line `"program" arguments`; nothing (and a test failure) when it
// cannot be started.
std::optional<StartedProcess> startProgram(const std::wstring& program, const std::wstring& arguments);
// Waits at most `milliseconds` for the process; its exit code, or nothing on time-out.
std::optional<unsigned long> waitForExit(StartedProcess& process, unsigned long milliseconds);
// Starts and waits (at most `milliseconds`); the exit code, or nothing (and a test failure) when it
// cannot be started or does not end in time.
std::optional<unsigned long> runProgram(const std::wstring& program, const std::wstring& arguments,
                                        unsigned long milliseconds = 120000);

// Holds `path` open through the file-locker helper with a share mode until release() or the end.
class FileLock {
public:
    // shareMode as for CreateFileW: 0 denies all, 1 (FILE_SHARE_READ) allows reading only.
    FileLock(const std::wstring& path, unsigned long shareMode);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return held_; }
    void release();

private:
    std::optional<StartedProcess> locker_;
    std::wstring marker_;
    bool held_ = false;
};

// The log file's lines without their time stamps, in order (CR LF checked: a line without
// it is returned with a trailing "<no CRLF>").
std::vector<std::wstring> logMessages(const std::wstring& logPath);

// True when every line of the log is "[Y-M-D H:M:S] message" + CR LF, numbers in plain decimal
// without leading zeros, and the file starts without a byte-order mark.
bool hasLogFormat(const std::wstring& logPath);

// UTF-8 to UTF-16 for comparing log content.
std::wstring fromUtf8(const std::string& text);

} // namespace quorila::test
