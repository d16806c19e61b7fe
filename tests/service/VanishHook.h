#pragma once

// Changes the tree under a walk at a chosen moment, through the walker's entry hook (called just
// before each entry is examined, with the descriptor of its folder). The entry named is changed
// either just before it is examined, or at the first look at any entry after it: then it has
// been examined, and a folder has not been read yet. With one worker the walk reads folders in
// the order listed, so that look comes before the folder is read: the next entry of the same
// folder, or else the first entry of a folder listed before it (every folder of the tests holds
// an entry).

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

namespace vanish {

enum class When { BeforeExamined, AfterExamined };
enum class How {
    Remove,        // a file unlinked, a folder renamed to NAME.moved in its folder
    Rename,        // renamed to NAME.moved in its folder
    ReplaceByFile, // renamed away, a file of the name put in its place
    ReplaceByLink, // renamed away, a link to it put in its place
    Swap,          // exchanged with the folder `outside` (beyond the walk, same file system)
};

struct Plan {
    std::string name;
    When when = When::AfterExamined;
    How how = How::Rename;
    std::string outside;

    std::mutex mutex;
    int dirFd = -1; // the entry's folder while waiting for the next look
    bool done = false;

    // "before|after:remove|rename|file|link:NAME"; false when it is not one.
    bool Parse(const std::string& spec) {
        const size_t a = spec.find(':'), b = spec.find(':', a + 1);
        if (a == std::string::npos || b == std::string::npos)
            return false;
        const std::string when = spec.substr(0, a), how = spec.substr(a + 1, b - a - 1);
        name = spec.substr(b + 1);
        this->when = when == "before" ? When::BeforeExamined : When::AfterExamined;
        if (how == "remove")
            this->how = How::Remove;
        else if (how == "rename")
            this->how = How::Rename;
        else if (how == "file")
            this->how = How::ReplaceByFile;
        else if (how == "link")
            this->how = How::ReplaceByLink;
        else
            return false;
        return !name.empty() && (when == "before" || when == "after");
    }

    void apply(int fd) {
        const std::string moved = name + ".moved";
        switch (how) {
        case How::Remove:
            if (::unlinkat(fd, name.c_str(), 0) != 0)
                ::renameat(fd, name.c_str(), fd, moved.c_str());
            break;
        case How::Rename:
            ::renameat(fd, name.c_str(), fd, moved.c_str());
            break;
        case How::ReplaceByFile:
            ::renameat(fd, name.c_str(), fd, moved.c_str());
            ::close(::openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644));
            break;
        case How::ReplaceByLink:
            ::renameat(fd, name.c_str(), fd, moved.c_str());
            ::symlinkat(moved.c_str(), fd, name.c_str());
            break;
        case How::Swap:
            ::renameat2(fd, name.c_str(), AT_FDCWD, outside.c_str(), RENAME_EXCHANGE);
            break;
        }
    }
};

inline void hook(int dirFd, const char* name, void* context) {
    auto* p = static_cast<Plan*>(context);
    std::lock_guard lock(p->mutex);
    if (p->done)
        return;
    if (p->dirFd < 0) {
        if (p->name != name)
            return;
        if (p->when == When::BeforeExamined) {
            p->apply(dirFd);
            p->done = true;
        } else {
            p->dirFd = ::dup(dirFd);
        }
        return;
    }
    p->apply(p->dirFd);
    ::close(p->dirFd);
    p->dirFd = -1;
    p->done = true;
}

} // namespace vanish
