#include "platform/Memory.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#if defined(__has_feature)
#if !__has_feature(address_sanitizer) && !__has_feature(memory_sanitizer)
#define TENVAREL_HEAP_ROOM 1
#endif
#else
#define TENVAREL_HEAP_ROOM 1
#endif
#endif

#ifdef TENVAREL_HEAP_ROOM
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#ifdef TENVAREL_HEAP_ROOM
namespace {

constexpr std::size_t HugePage = std::size_t(2) << 20;
constexpr std::size_t SmallestRoom = std::size_t(8) << 20;
constexpr std::size_t LargestRoom = std::size_t(1) << 30;
// Pieces small enough to come from the heap rather than from mmap.
constexpr std::size_t Piece = std::size_t(64) << 10;
// The C library's documented padding of a heap growth.
constexpr int DefaultTopPad = 128 << 10;

std::uintptr_t Address(void* p)
{
    return reinterpret_cast<std::uintptr_t>(p);
}

}  // namespace
#endif

THeapRoom::THeapRoom([[maybe_unused]] std::size_t bytes)
{
#ifdef TENVAREL_HEAP_ROOM
    if (bytes < SmallestRoom)
        return;
    bytes = std::min(bytes, LargestRoom);
    void* const before = sbrk(0);
    if (before == reinterpret_cast<void*>(-1))
        return;
    // The heap's next growth adds the whole room at once (and a trim keeps
    // it); taking what is left at its top makes that growth come now.
    mallopt(M_TOP_PAD, static_cast<int>(bytes));
    FGrown = true;
    const std::size_t top = mallinfo2().keepcost;
    std::vector<void*> pieces;
    pieces.reserve(top / Piece + 3);
    for (std::size_t taken = 0; taken <= top + Piece && sbrk(0) == before; taken += Piece)
        pieces.push_back(std::malloc(Piece));
    void* const after = sbrk(0);
    for (void* piece : pieces)
        std::free(piece);
    // Only whole huge pages of the new room, none of them touched yet.
    const std::uintptr_t from = (Address(before) + HugePage - 1) & ~(HugePage - 1);
    const std::uintptr_t to = Address(after) & ~(HugePage - 1);
    if (Address(after) != ~std::uintptr_t(0) && to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#endif
}

THeapRoom::~THeapRoom()
{
#ifdef TENVAREL_HEAP_ROOM
    if (FGrown)
        mallopt(M_TOP_PAD, DefaultTopPad);
#endif
}
