// The file operations that MinGW's std::filesystem gets wrong on Windows (each checked under
// Wine): copy_file with overwrite_existing refuses every existing target; remove_all fails on
// read-only files and walks through links to folders, deleting what they point to; the directory
// iterators walk into links too, and misread any folder whose path is longer than MAX_PATH (a
// listing started there yields the current folder's names, a recursive one fails on entering
// it). These keep the standard functions' contracts without those faults. Every reparse point
// counts as a link: it is never entered and is removed as itself.

#include "folders/file_ops.h"
#include "folders/install_clearing.h"

#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <windows.h>

#include "folders/path_grammar.h"
#include "process/unique_handle.h"

namespace quorila {

namespace {

std::error_code platformError(DWORD code)
{
    return {static_cast<int>(code), std::system_category()};
}

bool isMissing(DWORD code)
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

// A folder whose entries are ours to remove: a real folder, not a link or junction to one.
bool isFolderToEnter(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Owns one listing handle of FindFirstFileExW and closes it with FindClose exactly once.
class FindHandle {
public:
    FindHandle() noexcept = default;
    explicit FindHandle(HANDLE handle) noexcept : handle_(handle) {}
    FindHandle(FindHandle&& other) noexcept : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
    FindHandle& operator=(FindHandle&& other) noexcept
    {
        if (this != &other) {
            close();
            handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    ~FindHandle() { close(); }

    HANDLE get() const noexcept { return handle_; }
    bool valid() const noexcept { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }

private:
    void close() noexcept
    {
        if (valid()) {
            FindClose(handle_);
        }
        handle_ = INVALID_HANDLE_VALUE;
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// One folder being emptied: its listing and the entry the listing stands on.
struct OpenFolder {
    std::wstring path;
    DWORD attributes = 0;
    FindHandle listing;
    WIN32_FIND_DATAW current{};
    bool hasCurrent = false;
};

// Removes one entry that is not entered: a file, a link of any kind (as itself), or a folder that
// has been emptied. Read-only entries lose that attribute first. A vanished entry is no error.
DWORD removeEntry(const std::wstring& path, DWORD attributes)
{
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        constexpr DWORD settable = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
            | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        const DWORD kept = attributes & settable;
        if (!SetFileAttributesW(path.c_str(), kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL)) {
            const DWORD code = GetLastError();
            return isMissing(code) ? ERROR_SUCCESS : code;
        }
    }
    const BOOL removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryW(path.c_str())
                                                                      : DeleteFileW(path.c_str());
    if (!removed) {
        const DWORD code = GetLastError();
        return isMissing(code) ? ERROR_SUCCESS : code;
    }
    return ERROR_SUCCESS;
}

// Starts the listing of a real folder; a folder that vanished meanwhile lists nothing.
DWORD openFolder(const std::wstring& path, DWORD attributes, std::vector<OpenFolder>& open)
{
    OpenFolder folder;
    folder.path = path;
    folder.attributes = attributes;
    const std::wstring pattern = joinPath(path, L"*");
    folder.listing = FindHandle(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &folder.current,
                                                 FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!folder.listing.valid()) {
        const DWORD code = GetLastError();
        if (!isMissing(code)) {
            return code;
        }
    }
    folder.hasCurrent = folder.listing.valid();
    open.push_back(std::move(folder));
    return ERROR_SUCCESS;
}

// Depth-first removal below (and of) the real folder `path`. The open folders are kept on the
// heap rather than the call stack, so that the deepest tree a path can name fits.
DWORD removeFolder(const std::wstring& path, DWORD attributes)
{
    std::vector<OpenFolder> open;
    DWORD code = openFolder(path, attributes, open);
    while (code == ERROR_SUCCESS && !open.empty()) {
        OpenFolder& folder = open.back();
        if (!folder.hasCurrent) {
            // Emptied: close its listing before removing it.
            const std::wstring emptied = std::move(folder.path);
            const DWORD emptiedAttributes = folder.attributes;
            open.pop_back();
            code = removeEntry(emptied, emptiedAttributes);
            continue;
        }

        const std::wstring name = folder.current.cFileName;
        const DWORD entryAttributes = folder.current.dwFileAttributes;
        const std::wstring entryPath = joinPath(folder.path, name);
        if (!FindNextFileW(folder.listing.get(), &folder.current)) {
            const DWORD advanceCode = GetLastError();
            if (advanceCode != ERROR_NO_MORE_FILES) {
                code = advanceCode;
                break;
            }
            folder.hasCurrent = false;
        }

        if (name == L"." || name == L"..") {
            continue;
        }
        if (isFolderToEnter(entryAttributes)) {
            code = openFolder(entryPath, entryAttributes, open); // `folder` is not used after this
        } else {
            code = removeEntry(entryPath, entryAttributes);
        }
    }
    return code;
}

} // namespace

struct FolderListing::Level {
    std::wstring folder;
    FindHandle listing;
    WIN32_FIND_DATAW found{};
    bool foundUnread = false; // `found` holds the first entry, not yet handed out
};

FolderListing::FolderListing(const std::wstring& folder, Depth depth, std::error_code& error)
    : recursive_(depth == Depth::recursive)
{
    error.clear();
    open(folder, error);
    if (!error) {
        next(error);
    }
}

FolderListing::~FolderListing() = default;
FolderListing::FolderListing(FolderListing&&) noexcept = default;
FolderListing& FolderListing::operator=(FolderListing&&) noexcept = default;

bool FolderListing::atEnd() const noexcept
{
    return levels_.empty();
}

void FolderListing::open(const std::wstring& folder, std::error_code& error)
{
    Level level;
    level.folder = folder;
    const std::wstring pattern = joinPath(folder, L"*");
    level.listing = FindHandle(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &level.found,
                                                FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!level.listing.valid()) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) {
            const DWORD folderAttributes = GetFileAttributesW(folder.c_str());
            if (folderAttributes != INVALID_FILE_ATTRIBUTES && (folderAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                return; // a folder without even "." and "..": nothing to list
            }
        }
        if (recursive_ && code == ERROR_ACCESS_DENIED) {
            return; // skipped, as skip_permission_denied does
        }
        error = platformError(code);
        levels_.clear();
        return;
    }
    level.foundUnread = true;
    levels_.push_back(std::move(level));
}

// Takes the next entry other than "." and "..", closing the folders that are done.
void FolderListing::next(std::error_code& error)
{
    while (!levels_.empty()) {
        Level& level = levels_.back();
        if (level.foundUnread) {
            level.foundUnread = false;
        } else if (!FindNextFileW(level.listing.get(), &level.found)) {
            const DWORD code = GetLastError();
            if (code != ERROR_NO_MORE_FILES) {
                error = platformError(code);
                levels_.clear();
                return;
            }
            levels_.pop_back();
            continue;
        }
        const std::wstring_view name = level.found.cFileName;
        if (name == L"." || name == L"..") {
            continue;
        }
        path_ = joinPath(level.folder, name);
        attributes_ = level.found.dwFileAttributes;
        return;
    }
    path_.clear();
    attributes_ = 0;
}

void FolderListing::increment(std::error_code& error)
{
    error.clear();
    if (levels_.empty()) {
        return;
    }
    if (recursive_ && isFolderToEnter(attributes_)) {
        open(path_, error);
        if (error) {
            return;
        }
    }
    next(error);
}

// The attributes of what the current entry stands for: its own, or its target's for a link.
unsigned long FolderListing::followedAttributes(std::error_code& error) const
{
    error.clear();
    if ((attributes_ & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return attributes_;
    }
    const UniqueHandle target(CreateFileW(path_.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!target) {
        const DWORD code = GetLastError();
        error = platformError(code);
        return 0;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(target.get(), &information)) {
        const DWORD code = GetLastError();
        error = platformError(code);
        return 0;
    }
    return information.dwFileAttributes;
}

bool FolderListing::isFolder(std::error_code& error) const
{
    const unsigned long attributes = followedAttributes(error);
    return !error && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FolderListing::isRegularFile(std::error_code& error) const
{
    const unsigned long attributes = followedAttributes(error);
    return !error && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void copyFileReplacing(const std::wstring& from, const std::wstring& to, std::error_code& error)
{
    if (CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        error.clear();
        return;
    }
    DWORD code = GetLastError();
    // Windows refuses to overwrite a read-only file. A read-only target (an installer file the
    // clearing kept, a stale backup file) is replaced like any other, as removing a tree removes
    // read-only files.
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (code == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES
        && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == FILE_ATTRIBUTE_READONLY
        && SetFileAttributesW(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
        if (CopyFileW(from.c_str(), to.c_str(), FALSE)) {
            error.clear();
            return;
        }
        code = GetLastError();
        SetFileAttributesW(to.c_str(), attributes); // the file stays as it was
    }
    error = platformError(code);
}

bool isReparsePoint(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

void removeTree(const std::wstring& path, std::error_code& error)
{
    error.clear();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (!isMissing(code)) {
            error = platformError(code);
        }
        return;
    }
    const DWORD code = isFolderToEnter(attributes) ? removeFolder(path, attributes) : removeEntry(path, attributes);
    if (code != ERROR_SUCCESS) {
        error = platformError(code);
    }
}

} // namespace quorila
