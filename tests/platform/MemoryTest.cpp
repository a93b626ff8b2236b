// A heap room changes where and how the heap grows, never what it holds.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Memory.h"

namespace {

TEST(HeapRoom, WhatIsAllocatedInAndAroundItKeepsItsBytes)
{
    std::vector<std::string> before(1000, std::string(100, 'b'));
    std::vector<std::unique_ptr<std::string>> inside;
    {
        const THeapRoom room(32u << 20);
        for (int i = 0; i < 100000; ++i)
            inside.push_back(std::make_unique<std::string>(200, static_cast<char>('a' + i % 26)));
        // Freed inside the room, and allocated again.
        for (int i = 0; i < 100000; i += 2)
            inside[static_cast<std::size_t>(i)].reset();
        for (int i = 0; i < 100000; i += 2)
            inside[static_cast<std::size_t>(i)] = std::make_unique<std::string>(200, static_cast<char>('a' + i % 26));
    }
    std::vector<std::string> after(1000, std::string(100, 'c'));
    for (std::size_t i = 0; i < inside.size(); ++i)
        ASSERT_EQ(*inside[i], std::string(200, static_cast<char>('a' + i % 26))) << i;
    for (const std::string& s : before)
        ASSERT_EQ(s, std::string(100, 'b'));
    for (const std::string& s : after)
        ASSERT_EQ(s, std::string(100, 'c'));
    // A room too small to be worth it, and rooms one in another, are harmless.
    { const THeapRoom small(1024); }
    {
        const THeapRoom outer(16u << 20);
        const THeapRoom inner(16u << 20);
        inside.clear();
    }
}

}  // namespace
