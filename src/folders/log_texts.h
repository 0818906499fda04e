#pragma once

#include <string_view>

namespace quorila {

// The folder operations' log lines that more than one of them writes, each followed by a path.
inline constexpr std::wstring_view entryNotRemovedLine = L"Dosya silinemedi: ";
inline constexpr std::wstring_view folderNotCreatedLine = L"Klasör oluşturulamadı: ";

} // namespace quorila
