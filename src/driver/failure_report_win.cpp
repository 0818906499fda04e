#include "driver/failure_report.h"

#include <string>

#include <windows.h>

namespace quorila {

static_assert(static_cast<UINT>(ErrorBoxStyle::IconOnly) == MB_ICONERROR);
static_assert(static_cast<UINT>(ErrorBoxStyle::IconAndForeground) == (MB_OK | MB_ICONERROR | MB_SETFOREGROUND));

namespace {
constexpr std::wstring_view failureLine = L"HATA: ";
}

void showErrorBox(std::wstring_view message, ErrorBoxStyle style)
{
    const std::wstring text(message);
    const std::wstring caption(errorBoxCaption);
    MessageBoxW(nullptr, text.c_str(), caption.c_str(), static_cast<UINT>(style));
}

ExitCode reportFailure(UpdateLog& log, std::wstring_view message, ExitCode code)
{
    logLine(log, failureLine, message);
    showErrorBox(message, ErrorBoxStyle::IconAndForeground);
    return code;
}

} // namespace quorila
