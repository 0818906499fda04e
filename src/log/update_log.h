#pragma once

#include <string>
#include <string_view>

#include "base/unique_handle.h"

namespace quorila {

// The run's log: one file opened for appending with full sharing. Once failed (open or write),
// every later line is dropped silently. No buffer of its own: each line reaches the OS at once.
struct UpdateLog {
    UniqueHandle file;
    bool failed = true;
};

// Creates the missing folders above `logPath` and opens the file for appending, never truncating
// it, never through a link. A log that did not open is returned in the failed state.
UpdateLog openUpdateLog(const std::wstring& logPath);

// Appends "[Y-M-D H:M:S] message" + CR LF in UTF-8 and hands it to the OS before returning.
void logLine(UpdateLog& log, std::wstring_view message);

// A fixed text followed directly by a path or a number, as one line.
inline void logLine(UpdateLog& log, std::wstring_view text, std::wstring_view value)
{
    std::wstring line(text);
    line += value;
    logLine(log, line);
}

// Closes the file; writes nothing.
void closeUpdateLog(UpdateLog& log);

} // namespace quorila
