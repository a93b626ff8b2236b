// While it lives, no file of this process may grow past a size: a write
// beyond it fails (EFBIG) the way a write to a full disk does, which lets a
// test fill "the disk" without one. The signal such a write raises is
// ignored meanwhile, so the write only fails.
#pragma once

#include <sys/resource.h>

#include <csignal>
#include <cstddef>

class TFileSizeLimit {
public:
    explicit TFileSizeLimit(std::size_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &FOld);
        FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = FOld;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &FOld);
        std::signal(SIGXFSZ, FOldHandler);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

private:
    rlimit FOld{};
    void (*FOldHandler)(int) = nullptr;
};
