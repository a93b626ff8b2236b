// One fixed-size chunk of a socket's send queue.
#pragma once

#include <memory>

#include "classlib/Classes.h"

// Unread data is the range [ReadPos, WritePos) of a block of Capacity bytes,
// 0 <= ReadPos <= WritePos <= Capacity. When the last unread byte is removed
// both positions go back to 0, so a drained chunk is reused from its start.
// There is no read-and-consume: the socket peeks, sends, and removes what the
// system accepted.
class TBuffer : public TObject {
public:
    // A size of 0 or less gives 1514 bytes.
    explicit TBuffer(int Size);

    // Replaces the block; written bytes that fit are kept. Positions beyond
    // the new size are cut back to it.
    void SetSize(int Size);
    // Copies what fits and returns that count; 0 when the chunk is full.
    int Write(const void* Data, int Len);
    // The unread bytes (Len their count), or nullptr with Len 0.
    const char* Peek(int& Len) const;
    // Removes up to Len unread bytes; returns the count removed.
    int Remove(int Len);

    int Capacity() const { return FCapacity; }
    int WritePos() const { return FWritePos; }
    int ReadPos() const { return FReadPos; }

private:
    std::unique_ptr<char[]> FBlock;
    int FCapacity = 0;
    int FWritePos = 0;
    int FReadPos = 0;
};
