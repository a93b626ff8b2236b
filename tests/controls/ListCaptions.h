// The captions of a list's rows, in row order.
#pragma once

#include <vector>

#include "classlib/ListView.h"

inline std::vector<CodePageString> ItemCaptions(const TListView& list)
{
    std::vector<CodePageString> out;
    for (int i = 0; i < list.Items()->Count(); ++i)
        out.push_back(list.Items()->Item(i)->Caption());
    return out;
}
