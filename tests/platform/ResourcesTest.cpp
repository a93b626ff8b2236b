// The program's own resources, by number and by name.
#include <gtest/gtest.h>

#include <string>

#include "platform/Resources.h"

TEST(Resources, FoundByNumberAndByName)
{
    std::string bytes;
    EXPECT_TRUE(LoadResourceData(1001, bytes));
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    const struct {
        const char* name;
        bool found;
    } cases[] = {
        {"CHECKED", true},   {"checked", true},  {"Grayed", true},   {"UNCHECKED", true},
        {"#1001", true},     {"#8019", true},    {"1001", false},    {"#", false},
        {"#0", false},       {"#1001x", false},  {"#99999999999", false}, {"CHECKEDX", false},
        {"", false},
    };
    for (const auto& c : cases) {
        bytes.clear();
        EXPECT_EQ(LoadResourceData(c.name, bytes), c.found) << c.name;
        EXPECT_EQ(!bytes.empty(), c.found) << c.name;
    }
    std::string byNumber, byName;
    ASSERT_TRUE(LoadResourceData(1077, byNumber));
    ASSERT_TRUE(LoadResourceData("#1077", byName));
    EXPECT_EQ(byName, byNumber);
}
