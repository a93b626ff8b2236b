// The shell's system image lists: a few pictures of our own for files,
// folders and kinds of documents, 16 by 16 (small) and 32 by 32 (large),
// with the same indexes in both.
#pragma once

#include "classlib/ImgList.h"

enum TShellIcon { shDocument, shFolder, shText, shPicture, shWebPage, shProgram, shArchive, shShellIconCount };

const TImageList& SystemImageList(bool large);
// The icon of a path: an existing folder is a folder, anything else goes by
// its extension (a path that does not exist as well).
int ShellIconIndex(const CodePageString& path);
