#pragma once

namespace quorila {

// The platform's values, written here so that the rule stays platform-free (held_win.cpp checks
// them against <windows.h>).
inline constexpr unsigned long reparsePointAttribute = 0x400;    // FILE_ATTRIBUTE_REPARSE_POINT
inline constexpr unsigned long nameSurrogateTagBit = 0x20000000; // the bit IsReparseTagNameSurrogate reads

// What counts as a link: an entry whose reparse point stands for another name (a symbolic link,
// a junction, a mount point). Other reparse points (files compressed or deduplicated on disk,
// cloud placeholders) hold their own data: they are files and folders like any other.
constexpr bool isLinkEntry(unsigned long attributes, unsigned long reparseTag) noexcept
{
    return (attributes & reparsePointAttribute) != 0 && (reparseTag & nameSurrogateTagBit) != 0;
}

} // namespace quorila
