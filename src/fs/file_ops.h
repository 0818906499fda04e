#pragma once

#include <optional>
#include <string>
#include <system_error>

// Questions about paths and the removal of trees, with the standard functions' contracts (MinGW's
// std::filesystem gets them wrong on Windows: it walks through links, refuses read-only files and
// every text holding '?'). Each function that can fail reports it in a std::error_code
// out-parameter (cleared on success, the platform's error otherwise); a query that only answers
// "there or not" returns an optional as well: nothing, without an error, when nothing is there.
// None folds an error into a false, an empty text or a nothing.

namespace quorila {

// The error of the Win32 call that has just failed, as these functions report it; asked on the
// line right after the call.
std::error_code lastError();

// A platform error number as these functions report it.
std::error_code platformError(unsigned long code);

// Keeps the first of several errors: `first` takes `next` only while it holds none.
inline void keepFirstError(std::error_code& first, const std::error_code& next)
{
    if (!first) {
        first = next;
    }
}

// For a fault that passes by itself (another program, a virus scanner or an indexer, holds the
// entry for a moment without letting others share it; with `accessToo`, also an access refused,
// as a file whose deletion is pending answers): pauses, a little longer each time, and returns
// true while about two seconds in all have not been spent on it (`attempt` counts, from 0).
// False at once for any other error.
bool pauseBeforeRetry(const std::error_code& error, int& attempt, bool accessToo = false);

// True for the errors that mean nothing is at that place: a missing entry or folder, or a file
// where a folder was to be.
bool isNotFound(const std::error_code& error);

// True when `path` itself (not what it points to) is a link or junction; false, without an
// error, when nothing is there.
bool isReparsePoint(const std::wstring& path, std::error_code& error);

// What identifies a file or folder on its volume, whatever path reaches it: other letter case,
// short names, links, another spelling of the volume (\\localhost\C$ for C:). The file system's
// 128-bit identity where it has one (ReFS's 64-bit index is not unique), its 64-bit index
// otherwise.
struct FileId {
    unsigned long long volume = 0;
    unsigned long long high = 0;
    unsigned long long low = 0;
    friend bool operator==(const FileId&, const FileId&) = default;
};

// The identity of what an open handle reaches.
FileId handleFileId(void* handle, std::error_code& error);

// The identity of what `path` names, links followed; nothing when it is not there.
std::optional<FileId> fileId(const std::wstring& path, std::error_code& error);

// What a path names with links followed, as std::filesystem::status tells it. Missing, without
// an error, when nothing is there (a dangling link too); an error when the path cannot be asked.
enum class FileKind { missing, file, folder };
FileKind fileKind(const std::wstring& path, std::error_code& error);

// fileKind for checks: nothing when the path cannot be asked.
inline std::optional<FileKind> knownFileKind(const std::wstring& path)
{
    std::error_code error;
    const FileKind kind = fileKind(path, error);
    return error ? std::nullopt : std::optional<FileKind>(kind);
}

// Creates `folder` and every missing folder above it, as create_directories does: no error when
// it is a folder already; an error when a file stands in the way or the platform refuses.
void createFolders(const std::wstring& folder, std::error_code& error);

// Removes a file, or a folder with everything below it. Links are removed as themselves or not at
// all and never entered; read-only files are removed; a missing path is no error. An entry that
// cannot be removed is passed over and the rest removed; the first error is reported.
void removeTree(const std::wstring& path, std::error_code& error);

} // namespace quorila
