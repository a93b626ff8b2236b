// The sample project that tests, benchmarks and fuzz targets submit: a shop
// whose title, address and keywords hold the characters form encoding must
// escape (&, ', %, +, ?, =, a comma and blanks). Header-only, since the test
// support library does not link the workbench and this needs its record.
#pragma once

#include "workbench/ProjectData.h"

inline ProjectRecord ShopProject(const AnsiString& sessionName = "Shop")
{
    ProjectRecord p;
    p.SessionName = sessionName;
    p.url = "http://shop.example.com/?a=1&b=2";
    p.title = "Tom & Jerry's 100% shop";
    p.email = "tom+shop@example.com";
    p.description = "Fine goods";
    p.catagory = "Business";
    p.name = "Tom";
    p.last = "Cat";
    p.city = "Springfield";
    p.key1 = "cats, mice";
    p.country = "US";
    return p;
}
