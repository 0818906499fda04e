#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quorila {

// The application's process id from its decimal text, read as wcstoul reads base 10 into 32 bits
// (leading white space and a sign allowed, overflow gives the largest value, minus negates modulo
// 2^32). Nothing when no digit was read, anything follows the number, or the value is zero.
std::optional<std::uint32_t> parseProcessId(std::wstring_view pidText);

} // namespace quorila
