// What folder safety asks of Windows: full paths, final paths of existing folders and the file
// system's case-insensitive comparison of names.

#include <climits>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <windows.h>

#include "folders/folder_safety.h"
#include "process/unique_handle.h"

namespace quorila {

namespace {

// Rounds of "buffer too small, grow and ask again" before giving up; a path only outgrows the
// buffer again when the current folder changes between two calls.
constexpr int growAttempts = 16;

} // namespace

FullPath fullPath(const std::wstring& path)
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < growAttempts; ++attempt) {
        // Wine fails an empty text without setting the last error: start from none, and report a
        // failure that names no error as Windows reports that one.
        SetLastError(ERROR_SUCCESS);
        const DWORD length =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0) {
            const DWORD error = GetLastError();
            return FullPath{std::wstring(), error != ERROR_SUCCESS ? error : ERROR_INVALID_NAME};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return FullPath{std::move(buffer), 0};
        }
        // Too small: the length reported counts the terminating null. Growing by at least one
        // unit keeps a reported length equal to the buffer's from asking the same again.
        buffer.resize(length > buffer.size() ? length : buffer.size() + 1);
    }
    return FullPath{std::wstring(), ERROR_INSUFFICIENT_BUFFER};
}

std::optional<std::wstring> finalPath(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return std::nullopt;
    }
    // No access rights are needed to ask for the name; backup semantics open a folder.
    const UniqueHandle folder(CreateFileW(path.c_str(), 0,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder) {
        return std::nullopt;
    }
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < growAttempts; ++attempt) {
        const DWORD length = GetFinalPathNameByHandleW(folder.get(), buffer.data(),
                                                       static_cast<DWORD>(buffer.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            return std::nullopt;
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length > buffer.size() ? length : buffer.size() + 1);
    }
    return std::nullopt;
}

bool equalIgnoringCase(std::wstring_view a, std::wstring_view b)
{
    if (a.empty() || b.empty()) {
        return a.empty() && b.empty();
    }
    if (a.size() > static_cast<std::size_t>(INT_MAX) || b.size() > static_cast<std::size_t>(INT_MAX)) {
        return false;
    }
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

} // namespace quorila
