// The program's own resources by number: the pictures and cursors that the
// system names by resource number (1001 to 1006, 1077, 8019, ...). They are
// files of platform/resources/ compiled into the program.
#pragma once

#include <cstddef>
#include <string>

struct TResourceEntry {
    int id;
    const unsigned char* data;
    std::size_t size;
};

// Filled by the build from platform/resources/, ended by an entry with id 0.
extern const TResourceEntry kResourceEntries[];

// The resource's bytes (a BMP or PNG file); false when there is none.
bool LoadResourceData(int id, std::string& bytes);
// A cursor's hot spot, from the top-left corner of its picture; (0, 0) for a
// resource that is not a cursor.
void ResourceHotSpot(int id, int& x, int& y);
