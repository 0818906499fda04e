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
    bool throughLink = false; // refused: the log, or a folder on its way, is a link
};

// Creates the missing folders above `logPath`, each in the one above it, and opens the file for
// appending, never truncating it. When the file or a folder on its way that exists is a link,
// nothing is created or written: the log is returned failed and `throughLink`. Any other log that
// did not open is returned failed.
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
