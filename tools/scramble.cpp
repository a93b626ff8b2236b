// Build-time tool: scrambles a readable engine-record source into an engine
// data file of the installation. Usage: scramble <source.txt> <target.czc>
#include <cstdio>

#include "classlib/Classes.h"
#include "workbench/EngineData.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: scramble <source> <target>\n");
        return 2;
    }
    try {
        TStringList lines;  // plain list: the source order is kept as written
        lines.LoadFromFile(argv[1]);
        SaveScrambledStrings(lines, argv[2], EngineCipherStart);
    } catch (const Exception& e) {
        std::fprintf(stderr, "scramble: %s\n", e.Message.c_str());
        return 1;
    }
    return 0;
}
