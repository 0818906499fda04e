// The textual equality of two option texts, and the element-wise "same folder or inside it" test
// on full paths.

#include "fs/path_compare.h"

#include <cstddef>
#include <vector>

#include "fs/path_grammar.h"

namespace quorila {

namespace {

// What a full path lives on. A drive "C:"; a share "\\server\share" (server and share names);
// a device such as "\\?\Volume{...}" or "\\.\pipe" (its name); or nothing for a relative text.
enum class VolumeKind { None, Drive, Share, Device };

struct Volume {
    VolumeKind kind = VolumeKind::None;
    std::wstring_view names[2];
    std::size_t nameCount = 0;
    bool rooted = false;
};

struct FolderPieces {
    Volume volume;
    std::vector<std::wstring_view> elements;
};

// The names between separator runs; empty and "." elements are left out and ".." takes back the
// name before it (never more than there are). Full paths hold dot elements only behind a device
// prefix, where Windows refuses them but Wine resolves them.
std::vector<std::wstring_view> splitElements(std::wstring_view text)
{
    std::vector<std::wstring_view> elements;
    everyElement(text, [&elements](std::wstring_view element, bool) {
        if (element == L"..") {
            if (!elements.empty()) {
                elements.pop_back();
            }
        } else if (!element.empty() && element != L".") {
            elements.push_back(element);
        }
        return true;
    });
    return elements;
}

// Moves the first `count` elements (as many as there are) into the volume's names.
void takeVolumeNames(FolderPieces& pieces, std::size_t count)
{
    std::size_t taken = 0;
    while (taken < count && taken < pieces.elements.size()) {
        pieces.volume.names[taken] = pieces.elements[taken];
        ++taken;
    }
    pieces.volume.nameCount = taken;
    pieces.elements.erase(pieces.elements.begin(), pieces.elements.begin() + static_cast<std::ptrdiff_t>(taken));
}

FolderPieces decompose(std::wstring_view path)
{
    FolderPieces pieces;
    const std::wstring_view name = rootName(path);
    pieces.elements = splitElements(relativePart(path));
    pieces.volume.rooted = !rootDirectory(path).empty();

    if (isDriveDesignator(name)) {
        pieces.volume.kind = VolumeKind::Drive;
        pieces.volume.names[0] = name;
        pieces.volume.nameCount = 1;
    } else if (isDevicePrefix(name)) {
        // "\\?\C:\x" is "C:\x"; "\\?\UNC\server\share\x" is "\\server\share\x".
        pieces.volume.rooted = true;
        if (!pieces.elements.empty() && isDriveDesignator(pieces.elements.front())) {
            pieces.volume.kind = VolumeKind::Drive;
            takeVolumeNames(pieces, 1);
        } else if (!pieces.elements.empty() && equalsIgnoringAsciiCase(pieces.elements.front(), L"UNC")) {
            pieces.volume.kind = VolumeKind::Share;
            pieces.elements.erase(pieces.elements.begin());
            takeVolumeNames(pieces, 2);
        } else {
            pieces.volume.kind = VolumeKind::Device;
            takeVolumeNames(pieces, 1);
        }
    } else if (!name.empty()) {
        // A server name: the share is part of the volume.
        pieces.volume.kind = VolumeKind::Share;
        pieces.volume.rooted = true;
        pieces.elements.insert(pieces.elements.begin(), name.substr(2));
        takeVolumeNames(pieces, 2);
    }
    return pieces;
}

bool sameVolume(const Volume& a, const Volume& b, ElementsEqual equal)
{
    if (a.kind != b.kind || a.nameCount != b.nameCount || a.rooted != b.rooted) {
        return false;
    }
    for (std::size_t i = 0; i < a.nameCount; ++i) {
        if (!equal(a.names[i], b.names[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

bool pathsEqual(std::wstring_view a, std::wstring_view b)
{
    if (rootName(a) != rootName(b)) {
        return false;
    }
    if (rootDirectory(a).empty() != rootDirectory(b).empty()) {
        return false;
    }
    const std::wstring_view restA = relativePart(a);
    const std::wstring_view restB = relativePart(b);
    std::size_t i = 0;
    std::size_t j = 0;
    for (;;) {
        const bool endA = i == restA.size();
        const bool endB = j == restB.size();
        if (endA || endB) {
            return endA && endB;
        }
        const bool separatorA = isSeparator(restA[i]);
        const bool separatorB = isSeparator(restB[j]);
        if (separatorA != separatorB) {
            return false;
        }
        if (separatorA) {
            while (i < restA.size() && isSeparator(restA[i])) {
                ++i;
            }
            while (j < restB.size() && isSeparator(restB[j])) {
                ++j;
            }
            continue;
        }
        if (restA[i] != restB[j]) {
            return false;
        }
        ++i;
        ++j;
    }
}

bool isSameOrInside(std::wstring_view inner, std::wstring_view outer, ElementsEqual equal)
{
    const FolderPieces in = decompose(inner);
    const FolderPieces out = decompose(outer);
    if (!sameVolume(in.volume, out.volume, equal) || out.elements.size() > in.elements.size()) {
        return false;
    }
    for (std::size_t i = 0; i < out.elements.size(); ++i) {
        if (!equal(in.elements[i], out.elements[i])) {
            return false;
        }
    }
    return true;
}

bool isVolumeRoot(std::wstring_view full)
{
    return decompose(full).elements.empty();
}

} // namespace quorila
