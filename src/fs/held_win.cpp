// Handles below handles: every entry below a walk's root is opened with NtCreateFile relative to
// the handle of its folder (OBJECT_ATTRIBUTES.RootDirectory), with FILE_OPEN_REPARSE_POINT, and
// what was reached is checked to be the entry itself before it is read, written or removed: Wine
// reaches what a link points to whatever the flags, and there the check is what refuses it.

#include "fs/held.h"

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "fs/full_path.h"
#include "fs/link_rule.h"
#include "fs/path_grammar.h"

namespace quorila {

static_assert(reparsePointAttribute == FILE_ATTRIBUTE_REPARSE_POINT);
static_assert(IsReparseTagNameSurrogate(nameSurrogateTagBit) && !IsReparseTagNameSurrogate(~nameSurrogateTagBit));

namespace {

constexpr ULONG shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A folder being walked may be read and written by others, never renamed or removed.
constexpr ULONG shareWalked = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr NTSTATUS statusObjectNameCollision = static_cast<NTSTATUS>(0xC0000035);

std::error_code statusError(NTSTATUS status)
{
    return platformError(RtlNtStatusToDosError(status));
}

ACCESS_MASK accessMask(Access access, bool isFolder)
{
    ACCESS_MASK mask = SYNCHRONIZE | FILE_READ_ATTRIBUTES;
    switch (access) {
    case Access::pass:
        mask |= isFolder ? FILE_TRAVERSE : 0;
        break;
    case Access::read:
        mask |= isFolder ? FILE_LIST_DIRECTORY | FILE_TRAVERSE : FILE_READ_DATA;
        break;
    case Access::add:
        mask |= FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY;
        break;
    case Access::write:
        mask |= isFolder ? FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY
                         : FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;
        mask |= FILE_WRITE_ATTRIBUTES;
        break;
    case Access::remove:
    case Access::removeReadOnly:
        mask |= DELETE | (isFolder ? FILE_LIST_DIRECTORY | FILE_TRAVERSE : 0);
        mask |= access == Access::removeReadOnly ? FILE_WRITE_ATTRIBUTES : 0;
        break;
    }
    return mask;
}

// The name of what an open handle reaches, from the root of its volume. Of a link that the
// platform followed, the name of what it points to. Asked of the handle rather than through
// GetFinalPathNameByHandleW, which Wine cannot answer past MAX_PATH.
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

std::wstring childName(std::wstring_view folder, std::wstring_view name)
{
    std::wstring joined(folder);
    if (joined.empty() || joined.back() != L'\\') {
        joined.push_back(L'\\');
    }
    joined += name;
    return joined;
}

// True when `reached` is the entry `name` directly in the folder named `folder`. A name the user
// wrote may be a short (8.3) name, taken by its place alone; a name read from a listing must be
// the entry's own, or a new long name could reach another entry through its short name.
bool isEntryAt(std::wstring_view reached, std::wstring_view folder, std::wstring_view name, NameFrom from)
{
    const std::wstring_view reachedFolder = parentPath(reached);
    const std::wstring_view folderName = folder.size() > 1 && folder.back() == L'\\' ? folder.substr(0, folder.size() - 1) : folder;
    return equalIgnoringCase(reachedFolder.empty() ? L"\\" : reachedFolder, folderName.empty() ? L"\\" : folderName)
        && (equalIgnoringCase(fileName(reached), name)
            || (from == NameFrom::user && name.find(L'~') != std::wstring_view::npos));
}

// NtCreateFile of `name` relative to `folder`.
HANDLE createRelative(HANDLE folder, std::wstring_view name, ACCESS_MASK access, ULONG share, ULONG disposition,
                      ULONG options, ULONG attributes, std::error_code& error)
{
    if (name.empty() || name.size() > 32767) {
        error = platformError(ERROR_INVALID_NAME);
        return nullptr;
    }
    UNICODE_STRING text{};
    text.Buffer = const_cast<wchar_t*>(name.data());
    text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES object{};
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK status{};
    HANDLE handle = nullptr;
    const NTSTATUS result = NtCreateFile(&handle, access, &object, &status, nullptr, attributes, share, disposition,
                                         options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT,
                                         nullptr, 0);
    if (result < 0) {
        error = result == statusObjectNameCollision ? platformError(ERROR_ALREADY_EXISTS) : statusError(result);
        return nullptr;
    }
    error.clear();
    return handle;
}

// The attributes of what a handle reaches, a link's own when it is one; the reparse point of an
// entry that is no link is not reported (`tag` gets what the platform answered).
bool readAttributes(Held& held, std::error_code& error, FILE_ATTRIBUTE_TAG_INFO* tag = nullptr)
{
    FILE_ATTRIBUTE_TAG_INFO answer{};
    if (!GetFileInformationByHandleEx(held.handle.get(), FileAttributeTagInfo, &answer, sizeof(answer))) {
        error = lastError();
        return false;
    }
    held.attributes = isLinkEntry(answer.FileAttributes, answer.ReparseTag)
        ? answer.FileAttributes
        : answer.FileAttributes & ~FILE_ATTRIBUTE_REPARSE_POINT;
    if (tag != nullptr) {
        *tag = answer;
    }
    return true;
}

// The full path in its literal form ("\\?\C:\x", "\\?\UNC\server\share\x") and the length of its
// volume's root folder in it.
std::pair<std::wstring, std::size_t> literalForm(const std::wstring& full)
{
    std::wstring literal = literalPath(full);
    // "\\?\C:\" or "\\?\UNC\server\share\"
    std::size_t root = 4;
    const bool unc = literal.size() >= 8 && equalsIgnoringAsciiCase(literal.substr(4, 4), L"UNC\\");
    for (int separators = unc ? 3 : 1; root < literal.size() && separators > 0; ++root) {
        separators -= literal[root] == L'\\';
    }
    if (root == literal.size() && literal.back() != L'\\') {
        literal.push_back(L'\\');
        ++root;
    }
    return {std::move(literal), root};
}

} // namespace

std::error_code notItself()
{
    return platformError(ERROR_CANT_ACCESS_FILE);
}

bool isAlreadyTaken(const std::error_code& error)
{
    return error == platformError(ERROR_ALREADY_EXISTS);
}

bool Held::isFolder() const noexcept
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Held::isLink() const noexcept
{
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool ListedEntry::isFolder() const noexcept
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool ListedEntry::isLink() const noexcept
{
    return isLinkEntry(attributes, reparseTag);
}

Held openFolder(const std::wstring& path, Access access, std::error_code& error)
{
    std::wstring full = fullPath(path, error);
    if (error) {
        return {};
    }
    UniqueFile opened(CreateFileW(literalForm(full).first.c_str(), accessMask(access, true), shareWalked, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!opened) {
        error = lastError();
        return {};
    }
    Held held;
    held.handle.reset(opened.release()); // one kind of handle in a Held, as NtCreateFile gives it
    std::optional<std::wstring> name = reachedName(held.handle.get());
    if (!name || !readAttributes(held, error)) {
        error = error ? error : notItself();
        return {};
    }
    if (!held.isFolder()) {
        error = platformError(ERROR_DIRECTORY);
        return {};
    }
    held.name = std::move(*name);
    error.clear();
    return held;
}

Held openChild(const Held& folder, std::wstring_view name, bool isFolder, Access access, std::error_code& error,
               NameFrom from)
{
    // Another program holding the entry a moment without sharing it (a virus scanner, the indexer,
    // a sync client) is waited out here, where every entry is opened.
    Held held;
    int attempt = 0;
    do {
        held.handle.reset(createRelative(folder.handle.get(), name, accessMask(access, isFolder),
                                         access == Access::read && !isFolder ? shareAll : shareWalked, FILE_OPEN,
                                         FILE_OPEN_REPARSE_POINT | (isFolder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE),
                                         0, error));
    } while (!held.handle && pauseBeforeRetry(error, attempt));
    if (!held.handle) {
        return {};
    }
    std::optional<std::wstring> reached = reachedName(held.handle.get());
    if (!reached || !isEntryAt(*reached, folder.name, name, from)) {
        error = notItself();
        return {};
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!readAttributes(held, error, &tag)) {
        return {};
    }
    // A file whose reparse point is not a link (deduplicated, a cloud placeholder) serves its data
    // only when opened through its reparse point: opened again so, provided it is the same file.
    if (access == Access::read && !isFolder && (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0
        && !held.isLink()) {
        UniqueHandle data(createRelative(folder.handle.get(), name, accessMask(access, false), shareAll, FILE_OPEN,
                                         FILE_NON_DIRECTORY_FILE, 0, error));
        std::error_code dataError;
        std::error_code heldError;
        if (!data || handleFileId(data.get(), dataError) != handleFileId(held.handle.get(), heldError) || dataError
            || heldError) {
            error = error ? error : dataError ? dataError : heldError ? heldError : notItself();
            return {};
        }
        held.handle = std::move(data);
    }
    held.name = std::move(*reached); // as the platform spells it, short names expanded
    return held;
}

Held createChild(const Held& folder, std::wstring_view name, bool isFolder, std::error_code& error)
{
    Held held;
    held.handle.reset(createRelative(folder.handle.get(), name, accessMask(Access::write, isFolder),
                                     isFolder ? shareWalked : FILE_SHARE_READ, FILE_CREATE,
                                     isFolder ? FILE_DIRECTORY_FILE : FILE_NON_DIRECTORY_FILE,
                                     FILE_ATTRIBUTE_NORMAL, error));
    if (!held.handle) {
        return {};
    }
    held.attributes = isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    held.name = childName(folder.name, name);
    return held;
}

Held openForOverwrite(const Held& folder, std::wstring_view name, std::error_code& error)
{
    Held held;
    held.handle.reset(createRelative(folder.handle.get(), name, accessMask(Access::write, false),
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_OPEN,
                                     FILE_OPEN_REPARSE_POINT | FILE_NON_DIRECTORY_FILE, 0, error));
    if (!held.handle) {
        return {};
    }
    const std::optional<std::wstring> reached = reachedName(held.handle.get());
    FILE_STANDARD_INFO standard{};
    if (!reached || !isEntryAt(*reached, folder.name, name, NameFrom::listing) || !readAttributes(held, error)
        || held.isLink() || !GetFileInformationByHandleEx(held.handle.get(), FileStandardInfo, &standard, sizeof(standard))
        || standard.NumberOfLinks != 1) {
        error = error ? error : notItself();
        return {};
    }
    FILE_END_OF_FILE_INFO empty{};
    if (!SetFileInformationByHandle(held.handle.get(), FileEndOfFileInfo, &empty, sizeof(empty))) {
        error = lastError();
        return {};
    }
    held.name = childName(folder.name, name);
    return held;
}

FolderEntries::FolderEntries(const Held& folder)
{
    // The held folder itself, opened again relative to its own handle (an empty name).
    UNICODE_STRING none{};
    OBJECT_ATTRIBUTES object{};
    InitializeObjectAttributes(&object, &none, 0, folder.handle.get(), nullptr);
    IO_STATUS_BLOCK status{};
    HANDLE handle = nullptr;
    const NTSTATUS result = NtCreateFile(&handle, FILE_LIST_DIRECTORY | SYNCHRONIZE, &object, &status, nullptr, 0,
                                         shareAll, FILE_OPEN,
                                         FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_FOR_BACKUP_INTENT,
                                         nullptr, 0);
    folder_.reset(result < 0 ? nullptr : handle);
    opened_ = result < 0 ? statusError(result) : std::error_code();
}

bool FolderEntries::next(ListedEntry& entry, std::error_code& error)
{
    error = opened_;
    if (error) {
        ended_ = true;
        return false;
    }
    for (;;) {
        if (ended_) {
            return false;
        }
        if (!block_.empty() && offset_ < block_.size()) {
            // Each record copied out rather than read in place: a file-system driver may align the
            // records of a listing worse than their type asks for. A record that would reach past
            // the block ends the listing with an error rather than a read beyond it.
            FILE_ID_BOTH_DIR_INFO info;
            constexpr std::size_t fixed = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
            if (block_.size() - offset_ < fixed) {
                error = platformError(ERROR_INVALID_DATA);
                ended_ = true;
                return false;
            }
            std::memcpy(&info, block_.data() + offset_, fixed);
            const std::size_t nameAt = offset_ + fixed;
            if (block_.size() - nameAt < info.FileNameLength) {
                error = platformError(ERROR_INVALID_DATA);
                ended_ = true;
                return false;
            }
            std::wstring name(info.FileNameLength / sizeof(wchar_t), L'\0');
            std::memcpy(name.data(), block_.data() + nameAt, name.size() * sizeof(wchar_t));
            offset_ = info.NextEntryOffset == 0 ? block_.size() : offset_ + info.NextEntryOffset;
            if (name == L"." || name == L"..") {
                continue;
            }
            entry.name = std::move(name);
            entry.attributes = info.FileAttributes;
            // For a reparse point the listing's extended-attribute size holds its tag.
            entry.reparseTag = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? info.EaSize : 0;
            return true;
        }
        block_.resize(16384);
        const auto kind = started_ ? FileIdBothDirectoryInfo : FileIdBothDirectoryRestartInfo;
        started_ = true;
        offset_ = 0;
        if (!GetFileInformationByHandleEx(folder_.get(), kind, block_.data(), static_cast<DWORD>(block_.size()))) {
            error = lastError();
            ended_ = true;
            block_.clear();
            if (error == platformError(ERROR_NO_MORE_FILES)) {
                error.clear();
            }
            return false;
        }
    }
}

void copyContent(const Held& from, const Held& to, std::vector<char>& buffer, std::error_code& error)
{
    error.clear();
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(from.handle.get(), FileBasicInfo, &basic, sizeof(basic))) {
        error = lastError();
        return;
    }
    buffer.resize(1 << 20);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(from.handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) {
            error = lastError();
            return;
        }
        if (read == 0) {
            break;
        }
        DWORD written = 0;
        if (!WriteFile(to.handle.get(), buffer.data(), read, &written, nullptr)) {
            error = lastError();
            return;
        }
        if (written != read) {
            error = platformError(ERROR_WRITE_FAULT);
            return;
        }
    }
    // The new file's own creation time; the content's last-write time and the attributes a copy
    // keeps (read-only, hidden, system, archive among them).
    constexpr DWORD copied = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
        | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    FILE_BASIC_INFO kept{};
    kept.LastWriteTime = basic.LastWriteTime;
    kept.FileAttributes = (basic.FileAttributes & copied) != 0 ? basic.FileAttributes & copied : FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(to.handle.get(), FileBasicInfo, &kept, sizeof(kept))) {
        error = lastError();
    }
}

bool haveSameContent(const Held& a, const Held& b, std::vector<char>& buffer, std::error_code& error)
{
    error.clear();
    FILE_STANDARD_INFO sizeA{}, sizeB{};
    if (!GetFileInformationByHandleEx(a.handle.get(), FileStandardInfo, &sizeA, sizeof(sizeA))
        || !GetFileInformationByHandleEx(b.handle.get(), FileStandardInfo, &sizeB, sizeof(sizeB))) {
        error = lastError();
        return false;
    }
    if (sizeA.EndOfFile.QuadPart != sizeB.EndOfFile.QuadPart) {
        return false;
    }
    constexpr DWORD half = 1 << 19;
    buffer.resize(2 * half);
    for (;;) {
        DWORD readA = 0, readB = 0;
        if (!ReadFile(a.handle.get(), buffer.data(), half, &readA, nullptr)
            || !ReadFile(b.handle.get(), buffer.data() + half, half, &readB, nullptr)) {
            error = lastError();
            return false;
        }
        if (readA != readB || !std::equal(buffer.begin(), buffer.begin() + readA, buffer.begin() + half)) {
            return false;
        }
        if (readA == 0) {
            return true;
        }
    }
}

FileId heldId(const Held& held, std::error_code& error)
{
    return handleFileId(held.handle.get(), error);
}

void removeHeld(Held& entry, std::error_code& error)
{
    error.clear();
    // The name goes at once (POSIX semantics), not when the last handle of another program (a
    // virus scanner, the indexer) closes: its folder can then be removed and the name used again.
    FILE_DISPOSITION_INFO_EX posix{};
    posix.Flags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS
        | FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE;
    constexpr auto fileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
    if (SetFileInformationByHandle(entry.handle.get(), fileDispositionInfoEx, &posix, sizeof(posix))) {
        return;
    }
    // Only where POSIX deletion is not offered (FAT, network shares, older Windows, Wine) the
    // classic delete, which refuses a read-only entry; any other refusal (a file mapped as a
    // running program's image) is the error.
    const DWORD refused = GetLastError();
    if (refused != ERROR_INVALID_PARAMETER && refused != ERROR_NOT_SUPPORTED && refused != ERROR_INVALID_FUNCTION) {
        error = platformError(refused);
        return;
    }
    if ((entry.attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        constexpr DWORD settable = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM
            | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
        const DWORD kept = entry.attributes & settable;
        FILE_BASIC_INFO writable{}; // zero times stay as they are
        writable.FileAttributes = kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL;
        if (!SetFileInformationByHandle(entry.handle.get(), FileBasicInfo, &writable, sizeof(writable))) {
            error = lastError();
            return;
        }
    }
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(entry.handle.get(), FileDispositionInfo, &disposition, sizeof(disposition))) {
        error = lastError();
    }
}

namespace {

// The non-empty elements of a path below its root.
std::vector<std::wstring_view> folderElements(std::wstring_view belowRoot)
{
    std::vector<std::wstring_view> elements;
    everyElement(belowRoot, [&](std::wstring_view element, bool) {
        if (!element.empty()) {
            elements.push_back(element);
        }
        return true;
    });
    return elements;
}

// The folder `name` in `folder`, a link followed (as the checks resolved the path), under the
// name of what it reached.
Held openFollowing(const Held& folder, std::wstring_view name, Access access, std::error_code& error)
{
    Held next;
    next.handle.reset(createRelative(folder.handle.get(), name, accessMask(access, true), shareWalked, FILE_OPEN,
                                     FILE_DIRECTORY_FILE, 0, error));
    const auto reached = next.handle ? reachedName(next.handle.get()) : std::nullopt;
    error = next.handle && !reached ? notItself() : error;
    next.name = reached.value_or(L"");
    next.attributes = FILE_ATTRIBUTE_DIRECTORY;
    return next;
}

} // namespace

Held openFolderLevels(const std::wstring& path, Levels levels, std::error_code& error)
{
    const std::wstring full = fullPath(path, error);
    if (error) {
        return {};
    }
    const auto [literal, rootLength] = literalForm(full);
    const std::vector<std::wstring_view> elements = folderElements(std::wstring_view(literal).substr(rootLength));
    const Access last = Access::write;
    Held folder = openFolder(literal.substr(0, rootLength), elements.empty() ? last : Access::pass, error);
    bool missing = false;
    for (std::size_t i = 0; i < elements.size() && !error; ++i) {
        const Access access = i + 1 == elements.size() ? last : Access::pass;
        Held next;
        if (!missing && levels != Levels::followLinks) {
            next = openChild(folder, elements[i], true, access, error, NameFrom::user);
            error = !error && next.isLink() ? notItself() : error;
        } else if (!missing) {
            next = openFollowing(folder, elements[i], access, error);
        }
        missing = missing || error == platformError(ERROR_FILE_NOT_FOUND);
        if (missing) {
            next = createChild(folder, elements[i], true, error);
        }
        folder = std::move(next);
    }
    return error ? Held{} : std::move(folder);
}

FileKind kindBelow(const Held& folder, std::wstring_view relative, std::error_code& error)
{
    const std::vector<std::wstring_view> elements = folderElements(relative);
    std::optional<Held> level;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const Held& above = level ? *level : folder;
        ListedEntry there;
        if (!describeChild(above, elements[i], there, error) || there.isLink()) {
            if (isNotFound(error)) {
                error.clear();
                return FileKind::missing;
            }
            error = error ? error : notItself();
            return FileKind::missing;
        }
        if (i + 1 == elements.size()) {
            return there.isFolder() ? FileKind::folder : FileKind::file;
        }
        Held next = openChild(above, there.name, true, Access::pass, error);
        if (error) {
            error = isNotFound(error) ? std::error_code() : error;
            return FileKind::missing;
        }
        level = std::move(next);
    }
    error = platformError(ERROR_INVALID_NAME);
    return FileKind::missing;
}

Held openAppending(const Held& folder, std::wstring_view name, std::error_code& error)
{
    // Created new where nothing is there (a link of that name, dangling or not, makes this fail);
    // only an entry that exists already is opened, as itself. Never "open or create", which
    // creates what a dangling link points to.
    constexpr ACCESS_MASK appending = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    Held held;
    held.handle.reset(createRelative(folder.handle.get(), name, appending, shareAll, FILE_CREATE,
                                     FILE_NON_DIRECTORY_FILE, FILE_ATTRIBUTE_NORMAL, error));
    if (isAlreadyTaken(error)) {
        held.handle.reset(createRelative(folder.handle.get(), name, appending, shareAll, FILE_OPEN,
                                         FILE_OPEN_REPARSE_POINT | FILE_NON_DIRECTORY_FILE, 0, error));
        const auto reached = held.handle ? reachedName(held.handle.get()) : std::nullopt;
        // Taken, yet not there to open: a link whose target is missing.
        if (isNotFound(error) || (held.handle && (!reached || !isEntryAt(*reached, folder.name, name, NameFrom::listing)
                                                  || !readAttributes(held, error) || held.isLink()))) {
            error = notItself();
        }
    }
    return error ? Held{} : std::move(held);
}

void renameChild(const Held& folder, const std::wstring& folderPath, std::wstring_view from, std::wstring_view to,
                 std::error_code& error)
{
    Held entry;
    entry.handle.reset(createRelative(folder.handle.get(), from, DELETE | SYNCHRONIZE | FILE_READ_ATTRIBUTES,
                                      shareAll, FILE_OPEN, FILE_OPEN_REPARSE_POINT | FILE_NON_DIRECTORY_FILE, 0,
                                      error));
    const auto reached = entry.handle ? reachedName(entry.handle.get()) : std::nullopt;
    if (entry.handle
        && (!reached || !isEntryAt(*reached, folder.name, from, NameFrom::listing) || !readAttributes(entry, error)
            || entry.isLink())) {
        error = error ? error : notItself();
    }
    if (error) {
        return;
    }
    // The new name relative to the held folder, replacing an entry of that name (a link as the
    // link), at once where the file system offers POSIX semantics.
    std::vector<unsigned char> buffer;
    const auto renameTo = [&](FILE_INFO_BY_HANDLE_CLASS kind, DWORD flags, HANDLE root, std::wstring_view name) {
        buffer.assign(sizeof(FILE_RENAME_INFO) + (name.size() + 1) * sizeof(wchar_t), 0);
        auto* const info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        std::memcpy(buffer.data(), &flags, sizeof flags); // Flags, or ReplaceIfExists in its first byte
        info->RootDirectory = root;
        info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
        std::copy(name.begin(), name.end(), info->FileName);
        return SetFileInformationByHandle(entry.handle.get(), kind, info, static_cast<DWORD>(buffer.size())) != 0;
    };
    constexpr auto fileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
    constexpr DWORD replace = 0x1, posix = 0x2; // FILE_RENAME_FLAG_REPLACE_IF_EXISTS, _POSIX_SEMANTICS
    if (renameTo(fileRenameInfoEx, replace | posix, folder.handle.get(), to)
        || (GetLastError() == ERROR_INVALID_PARAMETER && renameTo(FileRenameInfo, replace, folder.handle.get(), to))) {
        error.clear();
        return;
    }
    error = lastError();
    if (error != platformError(ERROR_INVALID_PARAMETER)) {
        return;
    }
    // A platform that takes no folder handle for a rename (Wine): the folder's path names it. The
    // folder is held without delete sharing, so that path still reaches it.
    std::error_code unknown;
    std::wstring native = literalForm(fullPath(folderPath, unknown)).first;
    native[1] = L'?'; // "\\?\" to the native "\??\"
    native = childName(native, to);
    error = unknown ? unknown : renameTo(FileRenameInfo, replace, nullptr, native) ? std::error_code() : lastError();
}

} // namespace quorila
