#pragma once

// Real links and drive letters for the Windows tests. Under Wine 8 CreateSymbolicLinkW reports
// success and makes nothing, so the Unix `ln -s` (started as Z:\bin\ln) makes a link and `rm`
// removes it (Wine's own deletes would act on what the link points to). Wine cannot wait for a
// Unix program, so each step waits for its effect.

#include <functional>
#include <string>

namespace quorila::test {

bool underWine();

// Asks `condition` every 10 ms for at most `milliseconds`; its last answer.
bool waitUntil(const std::function<bool()>& condition, unsigned milliseconds = 10000);

// The Unix path of a Windows path whose folder exists, its last element not resolved (a link stays
// a link). Empty when not under Wine.
std::wstring unixPath(const std::wstring& path);

// A symbolic link at `path` to the existing folder or file `target`, removed as itself at the end
// unless the code under test removed it. Under Wine a link that cannot be made fails the test; on
// Windows made() is false when the account may not make links.
class Link {
public:
    Link(const std::wstring& target, const std::wstring& path);
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    bool made() const { return made_; }
    const std::wstring& path() const { return path_; }
    // Removes the link, never what it points to; true once it is gone.
    bool remove();

private:
    std::wstring path_;
    bool made_ = false;
};

// A spare drive letter of the Wine prefix mapped to a fresh folder holding one file "marker".
// Unmapped and removed at the end.
class MappedDrive {
public:
    MappedDrive();
    ~MappedDrive();
    MappedDrive(const MappedDrive&) = delete;
    MappedDrive& operator=(const MappedDrive&) = delete;

    // "Q:\" once Wine names the folder by its letter; empty when no letter could be mapped.
    const std::wstring& root() const { return root_; }
    // The folder by its Z: path.
    const std::wstring& folder() const { return folder_; }

private:
    std::wstring folder_;
    std::wstring root_;
    std::wstring mappedRoot_;
    std::wstring mapping_; // the letter's entry in the prefix's table of drives
};

} // namespace quorila::test
