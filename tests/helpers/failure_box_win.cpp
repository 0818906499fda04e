// Ends like an updater run that cannot write the install folder although it is elevated, so that
// the GUI test can look at the real failure box and at the log while the box is up.
//
//   failure_box.exe LOG_PATH
//
// Opens the update log at LOG_PATH, reports the failure (log line, then the box, which blocks
// until OK is pressed), closes the log and exits with the failure's code (22). Exits 1 when
// LOG_PATH is not given.

#include "driver/exit_code.h"
#include "driver/failure_report.h"
#include "log/update_log.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        return 1;
    }
    quorila::UpdateLog log = quorila::openUpdateLog(argv[1]);
    const quorila::ExitCode code = quorila::reportFailure(
        log, L"Yönetici yetkisine rağmen kurulum klasörüne yazılamıyor.", quorila::ExitCode::NotWritableWhileElevated);
    quorila::closeUpdateLog(log);
    return static_cast<int>(code);
}
