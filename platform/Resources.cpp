#include "platform/Resources.h"

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
        if (e->id == id) {
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
