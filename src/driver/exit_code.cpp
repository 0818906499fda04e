#include "driver/exit_code.h"

namespace quorila {

std::wstring_view exitCodeMessage(ExitCode code)
{
    switch (code) {
    case ExitCode::Success:
        return {};
    case ExitCode::MissingParameters:
        return L"Güncelleme parametreleri eksik.";
    case ExitCode::UnsafeFolders:
        return L"Güncelleme klasörleri güvenli değil.";
    case ExitCode::InvalidProcessId:
        return L"Quorila süreç numarası geçersiz.";
    case ExitCode::IncompleteReleasePackage:
        return L"Hazırlanan release paketi eksik.";
    case ExitCode::ApplicationNotClosed:
        return L"Quorila kapatılamadığı için güncelleme uygulanmadı.";
    case ExitCode::BackupFailed:
        return L"Mevcut sürüm yedeklenemedi. Güncelleme yapılmadı.";
    case ExitCode::InstallFailedRollbackFailed:
        return L"Güncelleme başarısız ve otomatik geri alma tamamlanamadı. Yedek klasör korunmuştur.";
    case ExitCode::InstallFailedRolledBack:
        return L"Güncelleme uygulanamadı; eski sürüm geri yüklendi.";
    case ExitCode::VerificationFailedRollbackFailed:
        return L"Yeni sürüm doğrulanamadı ve rollback tamamlanamadı.";
    case ExitCode::VerificationFailedRolledBack:
        return L"Yeni sürüm doğrulanamadı; eski sürüm geri yüklendi.";
    case ExitCode::RestartFailed:
        return L"Güncelleme tamamlandı ancak Quorila otomatik açılamadı. Uygulamayı kısayoldan yeniden açabilirsiniz.";
    case ExitCode::ElevationFailed:
        return L"Güncelleme için Windows yönetici izni alınamadı. Quorila değiştirilmedi.";
    case ExitCode::NotWritableWhileElevated:
        return L"Yönetici yetkisine rağmen kurulum klasörüne yazılamıyor.";
    }
    return {};
}

std::optional<ExitCode> exitCodeFromNumber(int number)
{
    // Every failure code has its message.
    const auto code = static_cast<ExitCode>(number);
    if (code != ExitCode::Success && exitCodeMessage(code).empty()) {
        return std::nullopt;
    }
    return code;
}

} // namespace quorila
