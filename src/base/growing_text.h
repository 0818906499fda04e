#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace quorila {

// A text that the platform writes into a caller's buffer (GetFullPathNameW, GetCurrentDirectoryW,
// GetFinalPathNameByHandleW, GetModuleFileNameW): `fill(buffer, capacity)` returns 0 on failure,
// the text's length when it fit, or otherwise the capacity it needs (or the capacity it filled).
// The buffer grows until the text fits; a text that keeps outgrowing it (the current folder
// changing between two calls) gives up after a few rounds. Nothing on failure: the platform's
// last error tells why.
template <typename Fill>
std::optional<std::wstring> growingText(Fill fill)
{
    std::wstring buffer(260, L'\0');
    for (int attempt = 0; attempt < 16; ++attempt) {
        const auto length = static_cast<std::size_t>(fill(buffer.data(), static_cast<unsigned long>(buffer.size())));
        if (length == 0) {
            return std::nullopt;
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length > buffer.size() ? length : buffer.size() * 2);
    }
    return std::nullopt;
}

} // namespace quorila
