// The engine files as the program loads them: the input is the readable text
// of a file, scrambled and written as data.czc, then loaded through the
// cipher into the sorted engine list and into an unsorted one (as the custom
// engine file is), and joined. Each record is split as the list shows it and
// as a submission reads it, the type filter and count run over the rows, and
// the first record is deleted from the file as the engine page deletes one.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "support/ShopProject.h"
#include "workbench/EngineData.h"
#include "workbench/SubmitData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text = InputBytes(data, size);
    const std::string scrambled = ScrambleBytes(text, EngineCipherStart);
    if (UnscrambleBytes(scrambled, EngineCipherStart) != text) {
        std::fputs("the cipher does not give the text back\n", stderr);
        std::abort();
    }
    const std::string path = WriteScratchFile("data.czc", scrambled);

    TStringList engines;
    engines.SetSorted(true);
    (void)LoadEngineRecords(path, engines, EngineCipherStart);
    TStringList custom;
    (void)LoadEngineRecords(path, custom, EngineCipherStart);
    engines.AddStrings(custom);

    static const ProjectRecord project = ShopProject();
    const CategoryLookup categories = [](const CodePageString& section, const CodePageString& key) {
        return section + "/" + key;
    };
    std::vector<EngineRowState> rows;
    for (int i = 0; i < engines.Count(); ++i) {
        const CodePageString& line = engines.StringRef(i);
        const EngineLine engine = SplitEngineLine(line);
        if (IsMarkerEngine(engine.name))
            continue;
        rows.push_back({engine.type, false});
        const auto eq = line.find('=');
        if (eq != CodePageString::npos)
            (void)BuildSubmissionRequest(line.substr(eq + 1), project, categories);
    }
    for (TypeFilterSender sender : {TypeFilterSender::MainWindow, TypeFilterSender::BatchSites}) {
        (void)FilterEngineRows(rows, sender, TypeChecks{});
        (void)CountEngineRows(rows);
    }
    if (custom.Count() > 0)
        DeleteEngineRecordFromFile(path, custom.StringRef(0), EngineCipherStart);
    return 0;
}
