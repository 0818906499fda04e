#pragma once

// Real symbolic links for the folder tests. Under Wine 8 CreateSymbolicLinkW reports success and
// makes nothing, so there the Unix `ln -s` makes the link; and since Wine's own deletes act on
// what a link points to, the Unix `rm` removes it again.

#include <string>

namespace quorila::test {

// True when the tests run under Wine (its kernel32 maps Windows paths to Unix ones).
bool underWine();

// Makes `link` a symbolic link to the existing folder or file `target` (Windows paths). False
// when no link could be made (on Windows: no right to make links).
bool makeLink(const std::wstring& target, const std::wstring& link);

// Removes a link made by makeLink as itself, never touching what it points to.
bool removeLink(const std::wstring& link);

} // namespace quorila::test
