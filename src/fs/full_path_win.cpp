// What folder safety asks of Windows: full paths, final paths of existing folders and the file
// system's case-insensitive comparison of names.

#include "fs/full_path.h"

#include <climits>

#include <windows.h>

#include "base/growing_text.h"
#include "base/unique_handle.h"
#include "fs/file_ops.h"

namespace quorila {

std::wstring fullPath(const std::wstring& path, std::error_code& error)
{
    auto full = growingText([&](wchar_t* buffer, DWORD capacity) {
        // Wine fails an empty text without setting the last error: what is left then is the error
        // Windows reports for it.
        SetLastError(ERROR_INVALID_NAME);
        return GetFullPathNameW(path.c_str(), capacity, buffer, nullptr);
    });
    error = full ? std::error_code() : lastError();
    return full ? std::move(*full) : std::wstring();
}

std::wstring literalPath(const std::wstring& full)
{
    if (full.starts_with(L"\\\\?\\")) {
        return full;
    }
    return full.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
}

std::wstring longForm(const std::wstring& path)
{
    constexpr std::size_t longest = MAX_PATH - 12; // a folder's path leaves room for an 8.3 name
    std::error_code error;
    const std::wstring full = path.size() < longest ? std::wstring() : fullPath(path, error);
    return full.empty() || full.size() < longest ? path : literalPath(full);
}

std::optional<std::wstring> finalPath(const std::wstring& given, std::error_code& error)
{
    error.clear();
    const std::wstring path = longForm(given);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = lastError();
        error = isNotFound(error) ? std::error_code() : error;
        return std::nullopt;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return std::nullopt;
    }
    // No access rights are needed to ask for the name; backup semantics open a folder.
    const UniqueFile folder(CreateFileW(path.c_str(), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder) {
        error = lastError();
        return std::nullopt;
    }
    auto final = growingText([&](wchar_t* buffer, DWORD capacity) {
        return GetFinalPathNameByHandleW(folder.get(), buffer, capacity, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
    error = final ? std::error_code() : lastError();
    return final;
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
