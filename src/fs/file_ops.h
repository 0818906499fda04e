#pragma once

#include <optional>
#include <string>
#include <system_error>
#include <vector>

// The file operations that MinGW's std::filesystem gets wrong on Windows, with the standard
// functions' contracts. Each one that can fail reports it in a std::error_code out-parameter
// (cleared on success, the platform's error otherwise); a query that only answers "there or not"
// returns an optional instead.

namespace quorila {

// The error of the Win32 call that has just failed, as these functions report it; asked on the
// line right after the call.
std::error_code lastError();

// Copies one file, replacing an existing target and creating a missing one (what copy_file with
// overwrite_existing promises; MinGW's refuses every existing target).
void copyFileReplacing(const std::wstring& from, const std::wstring& to, std::error_code& error);

// True when `path` itself (not what it points to) is a link or junction.
bool isReparsePoint(const std::wstring& path);

// What identifies a file or folder on its volume, whatever path reaches it: other letter case,
// short names, links, another spelling of the volume (\\localhost\C$ for C:).
struct FileId {
    unsigned long volume = 0;
    unsigned long long index = 0;
    friend bool operator==(const FileId&, const FileId&) = default;
};

// The identity of what `path` names, links followed; nothing when it is not there or cannot be
// opened.
std::optional<FileId> fileId(const std::wstring& path);

// What a path names with links followed, as std::filesystem::status tells it (MinGW's refuses
// every text holding '?', the literal \\?\ form among them). Missing, without an error, when
// nothing is there (a dangling link too); an error when the path cannot be asked.
enum class FileKind { missing, file, folder };
FileKind fileKind(const std::wstring& path, std::error_code& error);

// fileKind for checks: nothing when the path cannot be asked.
inline std::optional<FileKind> knownFileKind(const std::wstring& path)
{
    std::error_code error;
    const FileKind kind = fileKind(path, error);
    return error ? std::nullopt : std::optional<FileKind>(kind);
}

// Creates `folder` and every missing folder above it, as create_directories does (MinGW's
// crashes on a literal form ending in a dot element): no error when it is a folder already; an
// error when a file stands in the way or the platform refuses.
void createFolders(const std::wstring& folder, std::error_code& error);

// What a removal checks of its starting point before it deletes anything: the identity of the
// folder that holds the path, and of the path itself, as they were when the folders were checked.
// An empty field is not checked.
struct RemovalGuard {
    std::optional<FileId> folder;
    std::optional<FileId> self;
};

// Removes a file, or a folder with everything below it. Links are removed as themselves or not at
// all and never entered; read-only files are removed; a missing path is no error. Nothing is
// removed unless the guard's identities hold. The first error ends the removal.
void removeTree(const std::wstring& path, std::error_code& error, const RemovalGuard& guard = {});

// A streamed listing of a folder with the contract of std::filesystem's directory iterators in
// their error-code forms (MinGW's read a folder whose path reaches 260 characters as the current
// folder, and walk into linked folders). One entry at a time, in the platform's order, never "."
// or ".."; each entry's path is the listed folder joined with the entry's name.
// - plain: the entries directly in the folder (directory_iterator without options);
// - recursive: also everything below, a folder's contents right after the folder itself; links
//   and junctions are never entered.
// An error (opening any folder, a refused permission too, or moving on) leaves the listing at its
// end: a folder that cannot be read is never taken for an empty one.
class FolderListing {
public:
    enum class Depth { plain, recursive };

    FolderListing(const std::wstring& folder, Depth depth, std::error_code& error);
    ~FolderListing();
    FolderListing(FolderListing&&) noexcept;
    FolderListing& operator=(FolderListing&&) noexcept;
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;

    bool atEnd() const noexcept;
    // The current entry's path (source folder joined with the sub-path).
    const std::wstring& path() const noexcept { return path_; }
    // Type of the current entry with links followed (is_directory / is_regular_file of the
    // entry); a link whose target cannot be reached leaves an error.
    bool isFolder(std::error_code& error) const;
    bool isRegularFile(std::error_code& error) const;
    // True when the current entry itself is a link, junction or other reparse point.
    bool isLink() const noexcept;
    // Moves on to the next entry, entering the current one first when it is a folder to enter.
    void increment(std::error_code& error);

private:
    struct Level; // one open folder, defined with the platform's listing

    void open(const std::wstring& folder, std::error_code& error);
    void next(std::error_code& error);

    bool recursive_ = false;
    std::vector<Level> levels_;
    std::wstring path_;
    unsigned long attributes_ = 0;
};

} // namespace quorila
