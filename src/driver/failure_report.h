#pragma once

#include <string_view>

#include "driver/exit_code.h"
#include "log/update_log.h"

namespace quorila {

inline constexpr std::wstring_view errorBoxCaption = L"Quorila Güncelleme Hatası";

// MessageBoxW's style bits, written here so that the header stays platform-free
// (failure_report_win.cpp checks them against <windows.h>).
enum class ErrorBoxStyle : unsigned {
    IconOnly = 0x00000010,           // MB_ICONERROR: the missing-options box
    IconAndForeground = 0x00010010,  // MB_OK | MB_ICONERROR | MB_SETFOREGROUND: failure reports
};

// Shows the modal error box (no owner, the caption above) and returns when it is closed.
// A box that cannot be shown is ignored.
void showErrorBox(std::wstring_view message, ErrorBoxStyle style);

// Logs "HATA: " + message, then shows the box, then returns `code` unchanged.
ExitCode reportFailure(UpdateLog& log, std::wstring_view message, ExitCode code);

// The failure with the one message that goes with its code.
inline ExitCode reportFailure(UpdateLog& log, ExitCode code)
{
    return reportFailure(log, exitCodeMessage(code), code);
}

} // namespace quorila
