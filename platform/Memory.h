// Room on the heap for a burst of many small allocations.
//
// Loading a large engine database makes hundreds of thousands of small
// strings and list rows, tens of megabytes in all. Faulted in 4 KB at a time,
// that memory costs more than the loading itself. While a THeapRoom lives,
// the heap has grown by the expected amount in one step, and the new room is
// offered to the system for huge pages, so that it is faulted in a few large
// pieces. Where the heap is not the C library's own (the sanitizers), or the
// system backs nothing with huge pages, it changes nothing but the timing.
#pragma once

#include <cstddef>

class THeapRoom {
public:
    // Below a few megabytes it does nothing: such a burst is quick anyway.
    explicit THeapRoom(std::size_t bytes);
    // The heap grows in ordinary steps again, and gives back what is left.
    ~THeapRoom();
    THeapRoom(const THeapRoom&) = delete;
    THeapRoom& operator=(const THeapRoom&) = delete;

private:
    bool FGrown = false;
};
