// The package container: its primary verb writes the package's program into
// the current folder, executable, over an older copy, and starts it there
// with its parameters; a missing package or a failed start is an EOleError.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "classlib/DocumentContainer.h"
#include "classlib/Files.h"
#include "platform/Hooks.h"
#include "support/TempDir.h"

namespace {

TEST(OleContainer, ThePrimaryVerbWritesTheProgramAndStartsItInTheCurrentFolder)
{
    static const std::string program = "#!/bin/sh\nexit 0\n";
    RegisterPackage("tvtest-program", program);
    TempDir dir;
    dir.Write("tvtest-program", "an older copy");
    std::vector<ProcessStartCall> starts;
    GetHooks().startProcess = [&](const ProcessStartCall& call) {
        starts.push_back(call);
        return starts.size() == 1;  // the second start fails
    };
    const CodePageString old = GetCurrentDir();
    SetCurrentDir(dir.Path());
    TOleContainer ole(nullptr);
    ole.PackageName = "tvtest-program";
    ole.Parameters = {"2.0"};
    ole.DoVerb(ovPrimary);
    EXPECT_THROW(ole.DoVerb(ovPrimary), EOleError);
    TOleContainer empty(nullptr);
    empty.PackageName = "no-such-package";
    EXPECT_THROW(empty.DoVerb(ovPrimary), EOleError);
    SetCurrentDir(old);
    ResetHooks();

    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].program, dir.File("tvtest-program"));
    EXPECT_EQ(starts[0].args, (std::vector<std::string>{"2.0"}));
    EXPECT_EQ(starts[0].directory, dir.Path());
    std::ifstream in(dir.File("tvtest-program"), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    EXPECT_EQ(bytes.str(), program);
    struct stat st{};
    ASSERT_EQ(::stat(dir.File("tvtest-program").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_FALSE(std::filesystem::exists(dir.File("no-such-package")));
}

}  // namespace
