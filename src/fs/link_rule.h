#pragma once

namespace quorila {

// What counts as a link: an entry whose reparse point stands for another name (a symbolic link,
// a junction, a mount point). Other reparse points (files compressed or deduplicated on disk,
// cloud placeholders) hold their own data: they are files and folders like any other.
constexpr bool isLinkEntry(unsigned long attributes, unsigned long reparseTag) noexcept
{
    constexpr unsigned long reparsePoint = 0x400;       // FILE_ATTRIBUTE_REPARSE_POINT
    constexpr unsigned long nameSurrogate = 0x20000000; // the tag bit IsReparseTagNameSurrogate reads
    return (attributes & reparsePoint) != 0 && (reparseTag & nameSurrogate) != 0;
}

} // namespace quorila
