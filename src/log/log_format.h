#pragma once

#include <string>
#include <string_view>

namespace quorila {

struct LocalTime {
    unsigned year = 0;
    unsigned month = 0;
    unsigned day = 0;
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
};

// UTF-16 to UTF-8; a unit with no UTF-8 form (an unpaired surrogate) becomes U+FFFD.
std::string toUtf8(std::wstring_view text);

// One log line in UTF-8: "[" Y "-" M "-" D " " h ":" m ":" s "] " message CR LF, numbers in
// plain decimal without leading zeros.
std::string formatLogLine(const LocalTime& time, std::wstring_view message);

} // namespace quorila
