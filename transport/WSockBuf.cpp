#include "transport/WSockBuf.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr int kDefaultSize = 1514;  // one Ethernet frame
}

TBuffer::TBuffer(int Size)
{
    SetSize(Size);
}

void TBuffer::SetSize(int Size)
{
    if (Size <= 0)
        Size = kDefaultSize;
    if (Size == FCapacity)
        return;
    auto block = std::make_unique<char[]>(static_cast<std::size_t>(Size));
    if (FWritePos != FReadPos && FBlock)
        std::memcpy(block.get(), FBlock.get(), static_cast<std::size_t>(std::min(FWritePos, Size)));
    FBlock = std::move(block);
    FCapacity = Size;
    // A smaller block cannot hold what was written beyond its end.
    FWritePos = std::min(FWritePos, FCapacity);
    FReadPos = std::min(FReadPos, FWritePos);
    if (FReadPos == FWritePos)
        FReadPos = FWritePos = 0;
}

int TBuffer::Write(const void* Data, int Len)
{
    const int count = std::min(Len, FCapacity - FWritePos);
    if (count <= 0)
        return 0;
    std::memcpy(FBlock.get() + FWritePos, Data, static_cast<std::size_t>(count));
    FWritePos += count;
    return count;
}

const char* TBuffer::Peek(int& Len) const
{
    Len = FWritePos - FReadPos;
    if (Len <= 0) {
        Len = 0;
        return nullptr;
    }
    return FBlock.get() + FReadPos;
}

int TBuffer::Remove(int Len)
{
    const int unread = FWritePos - FReadPos;
    if (unread <= 0 || Len <= 0)
        return 0;
    const int count = std::min(Len, unread);
    FReadPos += count;
    if (FReadPos == FWritePos)
        FReadPos = FWritePos = 0;
    return count;
}
