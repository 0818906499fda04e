// Questions about paths asked of the platform itself, and their answers in the standard
// functions' terms.

#include "fs/file_ops.h"

#include <windows.h>

#include "base/unique_handle.h"
#include "fs/full_path.h"
#include "fs/held.h"

namespace quorila {

namespace {

// The error of the call that has just failed, none when it failed only because nothing is there.
std::error_code lastErrorUnlessMissing()
{
    const std::error_code error = lastError();
    return isNotFound(error) ? std::error_code() : error;
}

} // namespace

std::error_code platformError(unsigned long code)
{
    return {static_cast<int>(code), std::system_category()};
}

bool isNotFound(const std::error_code& error)
{
    return error == platformError(ERROR_FILE_NOT_FOUND) || error == platformError(ERROR_PATH_NOT_FOUND)
        || error == platformError(ERROR_DIRECTORY);
}

std::error_code lastError()
{
    return platformError(GetLastError());
}

bool pauseBeforeRetry(const std::error_code& error, int& attempt, bool accessToo)
{
    const bool passing = error == platformError(ERROR_SHARING_VIOLATION) || error == platformError(ERROR_LOCK_VIOLATION)
        || (accessToo && error == platformError(ERROR_ACCESS_DENIED));
    if (!passing || attempt > 10) {
        return false; // 1 + 2 + ... + 1024 ms: about two seconds
    }
    Sleep(1u << attempt++);
    return true;
}

bool isReparsePoint(const std::wstring& path, std::error_code& error)
{
    error.clear();
    const DWORD attributes = GetFileAttributesW(longForm(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = lastErrorUnlessMissing();
        return false;
    }
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

FileId handleFileId(void* handle, std::error_code& error)
{
    error.clear();
    FILE_ID_INFO id{};
    if (GetFileInformationByHandleEx(handle, FileIdInfo, &id, sizeof(id))) {
        FileId found{.volume = id.VolumeSerialNumber};
        static_assert(sizeof(id.FileId.Identifier) == 16);
        for (int i = 0; i < 8; ++i) {
            found.low |= static_cast<unsigned long long>(id.FileId.Identifier[i]) << (8 * i);
            found.high |= static_cast<unsigned long long>(id.FileId.Identifier[8 + i]) << (8 * i);
        }
        return found;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handle, &information)) {
        error = lastError();
        return {};
    }
    return FileId{.volume = information.dwVolumeSerialNumber,
                  .low = (static_cast<unsigned long long>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

std::optional<FileId> fileId(const std::wstring& path, std::error_code& error)
{
    const UniqueFile opened(CreateFileW(longForm(path).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!opened) {
        error = lastErrorUnlessMissing();
        return std::nullopt;
    }
    const FileId id = handleFileId(opened.get(), error);
    return error ? std::nullopt : std::optional<FileId>(id);
}

FileKind fileKind(const std::wstring& path, std::error_code& error)
{
    error.clear();
    // A handle follows a link to what it names, as the status of a path does.
    const UniqueFile opened(CreateFileW(longForm(path).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION information{};
    if (!opened || !GetFileInformationByHandle(opened.get(), &information)) {
        error = lastErrorUnlessMissing();
        return FileKind::missing;
    }
    return (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::folder : FileKind::file;
}

void createFolders(const std::wstring& folder, std::error_code& error)
{
    openFolderLevels(folder, Levels::followLinks, error);
    if (error == platformError(ERROR_DIRECTORY) || error == platformError(ERROR_ALREADY_EXISTS)) {
        error = platformError(ERROR_DIRECTORY); // a file stands in the way
    }
}

} // namespace quorila
