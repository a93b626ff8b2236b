// The sample project that tests, benchmarks and fuzz targets submit: a shop
// whose title, address and keywords hold the characters form encoding must
// escape (&, ', %, +, ?, =, a comma and blanks). Header-only, since the test
// support library does not link the workbench and this needs its record.
#pragma once

#include "workbench/ProjectData.h"

inline ProjectRecord ShopProject(const CodePageString& sessionName = "Shop")
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

// The shop's project with texts longer than the fields that show them, an
// owner and a company: what a user meets filling the MetaTags page from it.
inline ProjectRecord LongTextsProject(const CodePageString& sessionName = "Acme")
{
    ProjectRecord acme = ShopProject(sessionName);
    acme.url = "http://www.acme-widgets.example.com/catalogue/widgets/finest/handmade/index.html";
    acme.title = "Acme Widgets - the finest widgets, gadgets and gizmos of the valley";
    acme.description = "Acme makes the finest widgets, gadgets and gizmos of the whole valley, by hand and to "
                       "order, since 1921: ask for our catalogue";
    acme.key1 = "widgets,gadgets,gizmos,handmade widgets,widgets to order,valley widgets,acme,catalogue";
    acme.name = "Ann";
    acme.last = "Lee";
    acme.company = "Acme Widget Manufacturing Company of the Valley Limited";
    return acme;
}
