#include "platform/Resources.h"

#include <algorithm>

namespace {

struct HotSpot {
    int id;
    int x;
    int y;
};

// The finger tip of the hand cursors, the middle of the text cursor.
constexpr HotSpot kHotSpots[] = {
    {1003, 4, 0},
    {1006, 5, 8},
    {1077, 4, 0},
    {8019, 4, 0},
};

}  // namespace

bool LoadResourceData(int id, std::string& bytes)
{
    for (const TResourceEntry* e = kResourceEntries; e->data; ++e) {
        if (e->id == id && !e->name) {
            bytes.assign(reinterpret_cast<const char*>(e->data), e->size);
            return true;
        }
    }
    return false;
}

void ResourceHotSpot(int id, int& x, int& y)
{
    x = y = 0;
    for (const HotSpot& h : kHotSpots) {
        if (h.id == id) {
            x = h.x;
            y = h.y;
        }
    }
}

bool LoadResourceData(std::string_view name, std::string& bytes)
{
    if (name.size() > 1 && name.size() <= 10 && name[0] == '#') {
        int id = 0;
        for (const char c : name.substr(1)) {
            if (c < '0' || c > '9')
                return false;
            id = id * 10 + (c - '0');
        }
        return id > 0 && LoadResourceData(id, bytes);
    }
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
    for (const TResourceEntry* e = kResourceEntries; e->data; ++e) {
        if (!e->name || std::string_view(e->name).size() != name.size())
            continue;
        if (std::equal(name.begin(), name.end(), e->name, [&](char a, char b) { return upper(a) == upper(b); })) {
            bytes.assign(reinterpret_cast<const char*>(e->data), e->size);
            return true;
        }
    }
    return false;
}
