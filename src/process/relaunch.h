#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/command_line.h"
#include "base/options.h"
#include "log/update_log.h"

namespace quorila {

// Starts this executable again with `options` as its command line through the "runas" verb and
// waits for it to end. The paths must be full ones: the new process's current folder is the
// shell's choice. The elevated copy runs in a logon session of its own, which does not see this
// session's substituted and network drives: the program and the four paths go to it in the form
// that names what such a drive stands for (optionsSeenElevated), or it is not started. Logs one
// line, two when the end cannot be known; the new process's exit code, whatever it is, or nothing
// when it was not started (a path it would not see, refused, failed) or its end cannot be known (no
// process to wait for, the wait or its exit code failed).
std::optional<int> relaunchElevated(const UpdateOptions& options, UpdateLog& log);

namespace detail {

// The start behind relaunchElevated, open to the tests: for a given executable and parameter
// string; refuses (with its one line, starting nothing) when either is empty, else asks the shell
// for "runas" and waits. Logs one line; a second, with the platform's error, when the end of the
// process it started cannot be known.
std::optional<int> relaunchElevatedWith(const std::wstring& executable, const std::wstring& parameters,
                                        UpdateLog& log);

// What this session's platform says of a drive letter: QueryDosDeviceW's current target
// ("\??\C:\folder" for a substituted drive, "\Device\HarddiskVolume3" for a volume; nothing when it
// knows no such drive), WNetGetConnectionW's name of a network drive ("\\server\share"), and
// whether GetDriveTypeW takes it for a network drive.
struct DriveAnswers {
    std::optional<std::wstring> dosDevice;
    std::optional<std::wstring> connection;
    bool remote = false;
};
using AskDrive = DriveAnswers (*)(wchar_t letter);

// The platform's answers for the drive `letter` (an upper-case ASCII letter) in this session.
DriveAnswers askDrive(wchar_t letter);

// `path` in a form that names the same place from any logon session: a path on a substituted
// drive becomes the path it stands for, one on a network drive its UNC form (a literal \\?\ form
// stays literal), until it lies on a volume's own drive; a UNC path, a path on a volume's drive and
// any path not on a drive stay as they are. Nothing when a drive on the way cannot be named so (not
// known, a network drive without a name, a substitution loop, a target of another form).
std::optional<std::wstring> pathSeenElevated(std::wstring_view path, AskDrive ask);

// The options with their release, install, backup and log paths each so; nothing, with the first
// path that cannot be named so in `refused`, when one cannot.
std::optional<UpdateOptions> optionsSeenElevated(UpdateOptions options, AskDrive ask, std::wstring& refused);

} // namespace detail

} // namespace quorila
