// A small command-line program that extracts an archive through the archive
// component, as the update does, so that its run can be timed as a whole
// process beside another program's:
//   bench_trar_extract <folder holding libunrar.so> <archive> <target folder>
// Exit status 0 when the extraction succeeded.
#include <cstdio>

#include "classlib/Files.h"
#include "workbench/RARArc.h"

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <folder holding libunrar.so> <archive> <target folder>\n", argv[0]);
        return 2;
    }
    // The component loads the library from the folder it is created in.
    SetCurrentDir(argv[1]);
    TRAR rar(nullptr);
    rar.OnError = [](TObject*, int error) { std::fprintf(stderr, "archive error %d\n", error); };
    rar.ArchiveName = argv[2];
    rar.TargetDir = argv[3];
    return rar.Extract() ? 0 : 1;
}
