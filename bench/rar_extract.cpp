// Extracting a 200 MB archive of stored entries: through the archive
// component (bench_trar_extract, which checks every entry's CRC32) against
// bsdtar -xf on the same archive (libarchive's own tool, which checks none).
// Both run as whole processes, timed the same way, in interleaved rounds
// A B A B after one warm-up round (bench/Rounds.h); the output folder is
// emptied before every run, outside its time, and the outputs are compared
// once.
//   bench_rar_extract [rounds (default 9)] [folder for the files (default /tmp)]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "Rounds.h"
#include "support/Rar4Writer.h"

namespace fs = std::filesystem;

namespace {

constexpr int EntryCount = 200;
constexpr std::size_t EntrySize = 1 << 20;

// Every file below a folder with its size, in order.
std::vector<std::pair<std::string, std::uintmax_t>> Listing(const fs::path& folder)
{
    std::vector<std::pair<std::string, std::uintmax_t>> files;
    for (const auto& item : fs::recursive_directory_iterator(folder))
        if (item.is_regular_file())
            files.emplace_back(fs::relative(item.path(), folder).string(), item.file_size());
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 9;
    const fs::path base = argc > 2 ? fs::path(argv[2]) : fs::path("/tmp");
    const fs::path work = base / ("tenvarel-rar-bench-" + std::to_string(::getpid()));
    fs::create_directories(work);
    const fs::path archive = work / "archive.rar";
    const fs::path out = work / "out";
    if (!WriteLargeRar4(archive.string(), EntryCount, EntrySize)) {
        std::fprintf(stderr, "cannot write %s\n", archive.c_str());
        return 1;
    }
    const fs::path self = bench::SelfPath(argv[0]);
    const std::string tool = (self.parent_path() / "bench_trar_extract").string();
    const std::string library = self.parent_path().parent_path().string();  // the build folder

    const std::vector<std::string> ours = {tool, library, archive.string(), out.string()};
    const std::vector<std::string> theirs = {"bsdtar", "-xf", archive.string(), "-C", out.string()};
    // Both must succeed and write the same files.
    auto run = [&](const std::vector<std::string>& args) {
        fs::remove_all(out);
        fs::create_directories(out);
        bench::TRun figures;
        std::string error;
        if (!bench::RunCommand(args, figures, error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return false;
        }
        return true;
    };
    if (!run(ours))
        return 1;
    const auto ourFiles = Listing(out);
    if (!run(theirs))
        return 1;
    if (Listing(out) != ourFiles || ourFiles.size() != static_cast<std::size_t>(EntryCount)) {
        std::fprintf(stderr, "the two extractions differ\n");
        return 1;
    }

    std::printf("archive %.0f MB, %d stored entries\n", static_cast<double>(fs::file_size(archive)) / 1e6,
                EntryCount);
    bench::TRoundsOptions options;
    options.Rounds = rounds;
    options.Setup = [&] {
        fs::remove_all(out);
        fs::create_directories(out);
    };
    const int status = bench::CompareSides({"TRAR", ours}, {"bsdtar", theirs}, options);
    fs::remove_all(work);
    return status;
}
