#include "platform/Assertions.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

void AbortOnFailure(const char* check, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, check);
    std::abort();
}

std::atomic<TAssertionHandler> gHandler{AbortOnFailure};

}  // namespace

TAssertionHandler SetAssertionHandler(TAssertionHandler handler)
{
    return gHandler.exchange(handler ? handler : AbortOnFailure);
}

void AssertionFailed(const char* check, const char* file, int line)
{
    gHandler.load()(check, file, line);
}
