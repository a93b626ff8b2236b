// The program's own resources: the pictures and cursors that the system
// names by resource number (1001 to 1006, 1077, 8019, ...) or by name (the
// check box glyphs "CHECKED", "GRAYED", "UNCHECKED"). They are files of
// platform/resources/ compiled into the program.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

struct TResourceEntry {
    int id;            // 0 for a named resource
    const char* name;  // nullptr for a numbered one
    const unsigned char* data;
    std::size_t size;
};

// Filled by the build from platform/resources/, ended by an entry without data.
extern const TResourceEntry kResourceEntries[];

// The resource's bytes (a BMP or PNG file); false when there is none.
bool LoadResourceData(int id, std::string& bytes);
// By name, as resource names are looked up: letter case ignored, and "#"
// followed by a decimal number names the numbered resource.
bool LoadResourceData(std::string_view name, std::string& bytes);
// A cursor's hot spot, from the top-left corner of its picture; (0, 0) for a
// resource that is not a cursor.
void ResourceHotSpot(int id, int& x, int& y);
