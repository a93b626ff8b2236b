// The doorway page: an HTML page made from a project that carries its title,
// description and keywords many times over, lists every keyword as a link to
// the site and sends the visitor on to the site by a script. The user's
// texts go in as typed, without escaping; the texts the import took from
// another site's page came in with their markup characters escaped
// (ImportedText), so they bring no tags of their own.
#pragma once

#include <vector>

#include "classlib/Strings.h"

struct DoorwayProject {
    CodePageString Title;
    CodePageString Description;
    CodePageString Keywords;  // comma-separated
    CodePageString Url;
    CodePageString AppName;   // the settings file's [rur] app
    bool SingleKeyword = false;  // the project's keyword counter shows 1
};

// The keywords of the list: the text before each comma, with one blank
// after a comma dropped when more than two characters follow; a single
// keyword is the whole text.
std::vector<CodePageString> DoorwayKeywords(const CodePageString& keywords, bool singleKeyword);
// The page, line by line.
std::vector<CodePageString> DoorwayPageLines(const DoorwayProject& project);
// The short help the Doorway Pages page shows when it is opened.
std::vector<CodePageString> DoorwayHelpLines();
