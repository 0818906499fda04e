// Copying the contents of one folder into another: the backup of the install folder, the
// install of the release, and the copy back of the backup in a rollback.

#include "folders/tree_copy.h"

#include <string>
#include <string_view>
#include <system_error>

#include "folders/backup_mark.h"
#include "folders/entry_rules.h"
#include "fs/file_ops.h"
#include "fs/path_grammar.h"

namespace quorila {

namespace {

constexpr std::wstring_view folderNotCreatedLine = L"Klasör oluşturulamadı: ";
constexpr std::wstring_view sourceNotFoundLine = L"Kaynak klasör bulunamadı: ";
constexpr std::wstring_view sourceNotReadableLine = L"Kaynak klasör okunamadı: ";
constexpr std::wstring_view listingFailedLine = L"Kaynak klasör taranırken hata oluştu.";
constexpr std::wstring_view relativePathFailedLine = L"Göreli dosya yolu hesaplanamadı.";
constexpr std::wstring_view typeNotReadableLine = L"Dosya türü okunamadı: ";
constexpr std::wstring_view fileNotCopiedLine = L"Dosya kopyalanamadı: ";

// Makes sure `folder` exists as a folder, creating missing levels. False after its one line.
bool ensureFolder(const std::wstring& folder, UpdateLog& log)
{
    std::error_code error;
    createFolders(folder, error);
    if (error) {
        logLine(log, folderNotCreatedLine, folder);
        return false;
    }
    return true;
}

// Copies one regular file of the listing to `target`, making its folder first.
bool copyFile(const std::wstring& entryPath, const std::wstring& target, UpdateLog& log)
{
    if (!ensureFolder(std::wstring(parentPath(target)), log)) {
        return false;
    }
    std::error_code error;
    copyFileReplacing(entryPath, target, error);
    if (error) {
        logLine(log, fileNotCopiedLine, entryPath);
        return false;
    }
    return true;
}

} // namespace

bool copyTree(const std::wstring& source, const std::wstring& destination, LinksInSource links, UpdateLog& log)
{
    std::error_code error;
    if (fileKind(source, error) == FileKind::missing) {
        logLine(log, sourceNotFoundLine, source);
        return false;
    }
    if (!ensureFolder(destination, log)) {
        return false;
    }

    // Streamed: one entry at a time as the listing yields it; linked folders are not entered. The
    // platform's listing stands in for recursive_directory_iterator (see file_ops.h).
    FolderListing listing(source, FolderListing::Depth::recursive, error);
    if (error) {
        logLine(log, sourceNotReadableLine, source);
        return false;
    }

    while (!listing.atEnd()) {
        const std::wstring& entryPath = listing.path();

        // The position below the source is read from the listing's own path, so that every
        // entry, a link too, lands at its own place below the destination.
        const auto relative = relativeBelow(source, entryPath);
        if (!relative) {
            logLine(log, relativePathFailedLine);
            return false;
        }
        const std::wstring target = joinPath(destination, *relative);
        if (links == LinksInSource::refused && listing.isLink()) {
            logLine(log, fileNotCopiedLine, entryPath);
            return false;
        }

        // A linked folder counts as a folder and is made as a plain one; its contents lie
        // elsewhere and the listing does not enter it.
        const bool isFolder = listing.isFolder(error);
        if (isFolder) {
            if (!ensureFolder(target, log)) {
                return false;
            }
        } else if (error) {
            logLine(log, typeNotReadableLine, entryPath);
            return false;
        } else {
            const bool isFile = listing.isRegularFile(error);
            if (error) {
                logLine(log, typeNotReadableLine, entryPath);
                return false;
            }
            // The backup folder's state file belongs to that folder alone: never copied anywhere.
            if (isFile && !isBackupMarkEntry(*relative) && !copyFile(entryPath, target, log)) {
                return false;
            }
            // Anything else is passed over.
        }

        listing.increment(error);
        if (error) {
            logLine(log, listingFailedLine);
            return false;
        }
    }
    return true;
}

} // namespace quorila
