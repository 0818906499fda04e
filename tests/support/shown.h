#pragma once

// A wide text as GoogleTest shows values in failure messages: quoted, units beyond ASCII escaped.

#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace quorila::test {

inline std::string shown(std::wstring_view text)
{
    return ::testing::PrintToString(std::wstring(text));
}

} // namespace quorila::test
