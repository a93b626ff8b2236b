// The updater program's bytes, built into the main program, and their
// registration as the package its OLE container holds. This unit is linked
// only into the programs that carry the updater (Tenvarel and its window
// tests), after the updater itself has been built.
#include <string_view>

#include "classlib/DocumentContainer.h"

#ifndef TENVAREL_UPDATER_IMAGE
#error "TENVAREL_UPDATER_IMAGE names the updater file to carry"
#endif

asm(".section .rodata\n"
    ".balign 16\n"
    ".globl TenvarelUpdaterImage\n"
    "TenvarelUpdaterImage:\n"
    ".incbin \"" TENVAREL_UPDATER_IMAGE "\"\n"
    ".globl TenvarelUpdaterImageEnd\n"
    "TenvarelUpdaterImageEnd:\n"
    ".previous\n");

extern "C" const char TenvarelUpdaterImage[];
extern "C" const char TenvarelUpdaterImageEnd[];

namespace {

const bool Registered = [] {
    RegisterPackage("updater", std::string_view(TenvarelUpdaterImage,
                                                 static_cast<std::size_t>(TenvarelUpdaterImageEnd - TenvarelUpdaterImage)));
    return true;
}();

}  // namespace
