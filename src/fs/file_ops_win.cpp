// The file operations that MinGW's std::filesystem gets wrong on Windows (each checked under
// Wine): copy_file with overwrite_existing refuses every existing target; remove_all fails on
// read-only files and walks through links to folders, deleting what they point to; the directory
// iterators walk into links too, and misread any folder whose path is longer than MAX_PATH (a
// listing started there yields the current folder's names, a recursive one fails on entering
// it). These keep the standard functions' contracts without those faults. Every reparse point
// counts as a link: it is never entered, and it is removed as itself or not at all (Wine opens
// and deletes what a link points to, whatever the flags; there every link stays and its removal
// fails).

#include "fs/file_ops.h"

#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <windows.h>

#include "base/unique_handle.h"
#include "fs/full_path.h"
#include "fs/path_compare.h"
#include "fs/path_grammar.h"

namespace quorila {

namespace {

std::error_code platformError(DWORD code)
{
    return {static_cast<int>(code), std::system_category()};
}

// Nothing there: also when a file stands where the path needs a folder (ERROR_DIRECTORY).
bool isMissing(const std::error_code& error)
{
    return error == platformError(ERROR_FILE_NOT_FOUND) || error == platformError(ERROR_PATH_NOT_FOUND)
        || error == platformError(ERROR_DIRECTORY);
}

// A folder whose entries are ours to remove: a real folder, not a link or junction to one.
bool isFolderToEnter(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// The attributes of what `path` stands for: `attributes` (its own) unless it is a link, else its
// target's, asked through a handle that follows the link.
DWORD followedAttributes(const std::wstring& path, DWORD attributes, std::error_code& error)
{
    error.clear();
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        return attributes;
    }
    const UniqueHandle target(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!target || !GetFileInformationByHandle(target.get(), &information)) {
        error = lastError();
        return 0;
    }
    return information.dwFileAttributes;
}

// The name of what an open handle reaches, from the root of its volume. Of a link that the
// platform follows whatever the flags (Wine does), the name of what it points to. Asked of the
// handle rather than through GetFinalPathNameByHandleW, which Wine cannot answer past MAX_PATH.
std::optional<std::wstring> reachedName(HANDLE handle)
{
    std::vector<unsigned char> buffer(sizeof(FILE_NAME_INFO) + MAX_PATH * sizeof(wchar_t));
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto* const info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
        if (GetFileInformationByHandleEx(handle, FileNameInfo, info, static_cast<DWORD>(buffer.size()))) {
            return std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t));
        }
        if (GetLastError() != ERROR_MORE_DATA) {
            break;
        }
        buffer.resize(sizeof(FILE_NAME_INFO) + 32768 * sizeof(wchar_t)); // the longest name there is
    }
    return std::nullopt;
}

// The identity of what an open handle reaches.
std::optional<FileId> handleId(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information)) {
        return std::nullopt;
    }
    return FileId{information.dwVolumeSerialNumber,
                  (static_cast<unsigned long long>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

// FileDispositionInfoEx (Windows 10 1809 on), which MinGW's headers offer only behind a version
// test of another form than _WIN32_WINNT's.
constexpr auto fileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);

// The answer when the entry a handle reaches is not the entry that was listed at that place:
// under Wine a link opens as what it points to, and a folder may be replaced meanwhile.
constexpr DWORD notTheListedEntry = ERROR_CANT_ACCESS_FILE;

// Deletes the one entry at `path`, listed with `listedAttributes` under the name `expectedName`
// (reachedName of its folder joined with its own), through a handle to the entry itself (a link
// is never followed) that is first checked to reach exactly that entry: the same kind, at the
// same place. Read-only entries lose
// that attribute first. A vanished entry is no error. The entry goes when the handle closes.
std::error_code deleteEntry(const std::wstring& path, DWORD listedAttributes, const std::wstring& expectedName)
{
    // The right to change attributes only where one is to be cleared: an account may be allowed to
    // delete what it may not change.
    const bool readOnly = (listedAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    const UniqueHandle entry(CreateFileW(path.c_str(),
                                         DELETE | FILE_READ_ATTRIBUTES | (readOnly ? FILE_WRITE_ATTRIBUTES : 0),
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                         nullptr));
    if (!entry) {
        // Just listed, so only "no such file" means it went meanwhile; a path that cannot be
        // reached (too long, say) is a failure, not a removal.
        const std::error_code error = lastError();
        return error == platformError(ERROR_FILE_NOT_FOUND) ? std::error_code() : error;
    }
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(entry.get(), FileBasicInfo, &basic, sizeof(basic))) {
        return lastError();
    }
    constexpr DWORD kind = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    const std::optional<std::wstring> reached = reachedName(entry.get());
    if (((basic.FileAttributes ^ listedAttributes) & kind) != 0 || !reached
        || !equalIgnoringCase(*reached, expectedName)) {
        return platformError(notTheListedEntry);
    }
    // The name goes at once (POSIX semantics), not when the last handle of another program (a
    // virus scanner, the indexer) closes: its folder can then be removed and the name used again.
    FILE_DISPOSITION_INFO_EX posix{};
    posix.Flags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS
        | FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE;
    if (SetFileInformationByHandle(entry.get(), fileDispositionInfoEx, &posix, sizeof(posix))) {
        return {};
    }
    // Not offered by the file system (FAT, older Windows, Wine): the classic delete, which
    // refuses a read-only entry.
    if ((basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        constexpr DWORD settable = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
            | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        const DWORD kept = basic.FileAttributes & settable;
        FILE_BASIC_INFO writable{}; // zero times stay as they are
        writable.FileAttributes = kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
        if (!SetFileInformationByHandle(entry.get(), FileBasicInfo, &writable, sizeof(writable))) {
            return lastError();
        }
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(entry.get(), FileDispositionInfo, &disposition, sizeof(disposition))) {
        return lastError();
    }
    return {};
}

// One folder's listing through FindFirstFileExW and FindNextFileW, standing on one entry at a
// time and passing over "." and "..". The removal walk and FolderListing both walk with it.
class FolderCursor {
public:
    // Starts the listing; the platform's error (and no entries) when it cannot be started.
    FolderCursor(const std::wstring& folder, std::error_code& error) : folder_(folder)
    {
        const std::wstring pattern = joinPath(folder, L"*");
        listing_.reset(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found_, FindExSearchNameMatch,
                                        nullptr, FIND_FIRST_EX_LARGE_FETCH));
        error = listing_ ? std::error_code() : lastError();
        unread_ = listing_.valid();
    }

    // Moves to the next entry: false at the end of the folder (its listing closed then), or after
    // an error left in `error`.
    bool next(std::error_code& error)
    {
        error.clear();
        while (listing_) {
            if (unread_) {
                unread_ = false;
            } else if (!FindNextFileW(listing_.get(), &found_)) {
                error = lastError();
                if (error == platformError(ERROR_NO_MORE_FILES)) {
                    error.clear();
                }
                listing_.reset(); // the folder may be removed once its listing is closed
                return false;
            }
            if (name() != L"." && name() != L"..") {
                return true;
            }
        }
        return false;
    }

    const std::wstring& folder() const noexcept { return folder_; }
    std::wstring_view name() const noexcept { return found_.cFileName; }
    DWORD attributes() const noexcept { return found_.dwFileAttributes; }

private:
    std::wstring folder_;
    UniqueFindHandle listing_;
    WIN32_FIND_DATAW found_{};
    bool unread_ = false; // `found_` holds the first entry, not yet handed out
};

// One folder being emptied: its listing, its own attributes as listed, and the name (as
// reachedName gives it) that every entry listed in it must have below it.
struct OpenFolder {
    FolderCursor cursor;
    DWORD attributes = 0;
    std::wstring name;
};

// Starts the listing of a real folder; a folder that vanished meanwhile lists nothing.
std::error_code openFolder(const std::wstring& path, DWORD attributes, std::wstring name,
                           std::vector<OpenFolder>& open)
{
    std::error_code error;
    FolderCursor cursor(path, error);
    if (error && !isMissing(error)) {
        return error;
    }
    open.push_back(OpenFolder{std::move(cursor), attributes, std::move(name)});
    return {};
}

// Depth-first removal below (and of) the real folder `path`, listed under the name `name`. The
// open folders are kept on the heap rather than the call stack, so that the deepest tree a path
// can name fits.
std::error_code removeFolder(const std::wstring& path, DWORD attributes, std::wstring name)
{
    std::vector<OpenFolder> open;
    std::error_code error = openFolder(path, attributes, std::move(name), open);
    while (!error && !open.empty()) {
        OpenFolder& folder = open.back();
        if (!folder.cursor.next(error)) {
            if (error) {
                break;
            }
            // Emptied, and its listing closed: remove it.
            const OpenFolder emptied = std::move(folder);
            open.pop_back();
            error = deleteEntry(emptied.cursor.folder(), emptied.attributes, emptied.name);
            continue;
        }
        const std::wstring entryPath = joinPath(folder.cursor.folder(), folder.cursor.name());
        std::wstring entryName = joinPath(folder.name, folder.cursor.name());
        const DWORD entryAttributes = folder.cursor.attributes();
        if (isFolderToEnter(entryAttributes)) {
            // `folder` is not used after this
            error = openFolder(entryPath, entryAttributes, std::move(entryName), open);
        } else {
            error = deleteEntry(entryPath, entryAttributes, entryName);
        }
    }
    return error;
}

} // namespace

std::error_code lastError()
{
    return platformError(GetLastError());
}

struct FolderListing::Level : FolderCursor {
    using FolderCursor::FolderCursor;
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
    Level level(folder, error);
    if (error == platformError(ERROR_FILE_NOT_FOUND)) {
        const DWORD folderAttributes = GetFileAttributesW(folder.c_str());
        if (folderAttributes != INVALID_FILE_ATTRIBUTES && (folderAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            error.clear();
            return; // a folder without even "." and "..": nothing to list
        }
    }
    if (error) {
        levels_.clear();
        return;
    }
    levels_.push_back(std::move(level));
}

// Takes the next entry, closing the folders that are done.
void FolderListing::next(std::error_code& error)
{
    while (!levels_.empty()) {
        Level& level = levels_.back();
        if (level.next(error)) {
            path_ = joinPath(level.folder(), level.name());
            attributes_ = level.attributes();
            return;
        }
        if (error) {
            levels_.clear();
            return;
        }
        levels_.pop_back();
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

bool FolderListing::isLink() const noexcept
{
    return (attributes_ & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool FolderListing::isFolder(std::error_code& error) const
{
    const DWORD attributes = followedAttributes(path_, attributes_, error);
    return !error && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FolderListing::isRegularFile(std::error_code& error) const
{
    const DWORD attributes = followedAttributes(path_, attributes_, error);
    return !error && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void copyFileReplacing(const std::wstring& from, const std::wstring& to, std::error_code& error)
{
    if (CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        error.clear();
        return;
    }
    error = lastError();
    // Windows refuses to overwrite a read-only file. A read-only target (an installer file the
    // clearing kept, a stale backup file) is replaced like any other, as removing a tree removes
    // read-only files.
    const DWORD attributes = GetFileAttributesW(to.c_str());
    if (error == platformError(ERROR_ACCESS_DENIED) && attributes != INVALID_FILE_ATTRIBUTES
        && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == FILE_ATTRIBUTE_READONLY
        && SetFileAttributesW(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
        if (CopyFileW(from.c_str(), to.c_str(), FALSE)) {
            error.clear();
            return;
        }
        error = lastError();
        SetFileAttributesW(to.c_str(), attributes); // the file stays as it was
    }
}

bool isReparsePoint(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

FileKind fileKind(const std::wstring& path, std::error_code& error)
{
    error.clear();
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        attributes = followedAttributes(path, attributes, error);
    } else {
        error = lastError();
    }
    if (error) {
        error = isMissing(error) ? std::error_code() : error;
        return FileKind::missing;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::folder : FileKind::file;
}

void createFolders(const std::wstring& folder, std::error_code& error)
{
    error.clear();
    if (folder.empty()) {
        error = platformError(ERROR_PATH_NOT_FOUND);
        return;
    }
    // Up to the nearest folder that exists (a volume's root is taken to exist), then down again
    // creating each missing level.
    std::vector<std::wstring> missing;
    std::wstring current = folder;
    while (!isVolumeRoot(current)) {
        const DWORD attributes = GetFileAttributesW(current.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                error = platformError(ERROR_DIRECTORY);
                return;
            }
            break;
        }
        error = lastError();
        if (!isMissing(error)) {
            return;
        }
        error.clear();
        std::wstring parent(parentPath(current));
        const bool topmost = parent.empty() || parent.size() >= current.size();
        missing.push_back(std::move(current));
        if (topmost) {
            break;
        }
        current = std::move(parent);
    }
    for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
        if (!CreateDirectoryW(level->c_str(), nullptr)) {
            error = lastError();
            const bool exists = error == platformError(ERROR_ALREADY_EXISTS);
            const DWORD attributes = GetFileAttributesW(level->c_str());
            if (!exists || attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                error = exists ? platformError(ERROR_DIRECTORY) : error;
                return;
            }
            error.clear();
        }
    }
}

void removeTree(const std::wstring& path, std::error_code& error, const RemovalGuard& guard)
{
    error.clear();
    std::wstring_view trimmed = path;
    while (trimmed.size() > rootPath(trimmed).size() && isSeparator(trimmed.back())) {
        trimmed.remove_suffix(1);
    }
    if (GetFileAttributesW(std::wstring(trimmed).c_str()) == INVALID_FILE_ATTRIBUTES) {
        error = lastError();
        if (isMissing(error)) {
            error.clear();
        }
        return;
    }
    // The entry as its folder lists it: its own attributes and its long name, by which it is
    // reached from here on (a short name would be reported back as written).
    WIN32_FIND_DATAW found{};
    const UniqueFindHandle listed(FindFirstFileExW(std::wstring(trimmed).c_str(), FindExInfoBasic, &found,
                                             FindExSearchNameMatch, nullptr, 0));
    if (!listed.valid()) {
        error = lastError();
        return;
    }
    std::wstring parent(parentPath(trimmed));
    if (parent.size() >= trimmed.size() || fileName(trimmed).empty()) {
        error = platformError(ERROR_INVALID_NAME); // a root: never removed
        return;
    }
    if (!parent.empty() && isVolumeRoot(parent) && !isSeparator(parent.back())) {
        parent.push_back(L'\\'); // "\\?\C:" is the volume itself, "\\?\C:\" its root folder
    }
    const std::wstring entry = joinPath(parent, found.cFileName);

    // The folder it lies in, and the name every entry below must be reached under.
    const UniqueHandle folder(CreateFileW(parent.empty() ? L"." : parent.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const std::optional<std::wstring> folderName = folder ? reachedName(folder.get()) : std::nullopt;
    if (!folderName) {
        error = platformError(ERROR_INVALID_NAME);
        return;
    }
    // The guard: the folders are still those that were checked, at the moment the removal starts.
    if (guard.folder && handleId(folder.get()) != guard.folder) {
        error = platformError(notTheListedEntry);
        return;
    }
    if (guard.self) {
        const UniqueHandle self(CreateFileW(entry.c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING,
                                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!self || handleId(self.get()) != guard.self) {
            error = platformError(notTheListedEntry);
            return;
        }
    }
    std::wstring name = joinPath(*folderName, found.cFileName);
    error = isFolderToEnter(found.dwFileAttributes) ? removeFolder(entry, found.dwFileAttributes, std::move(name))
                                                      : deleteEntry(entry, found.dwFileAttributes, name);
}

std::optional<FileId> fileId(const std::wstring& path)
{
    const UniqueHandle opened(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return opened ? handleId(opened.get()) : std::nullopt;
}

} // namespace quorila
