// What a screen reader finds of the installed program: Tenvarel runs on a
// headless X server with the xcb platform in a D-Bus session of its own, and
// the probe (tests/tools/AtSpiProbe.cpp) reads its accessible tree from the
// AT-SPI registry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "StartProcess.h"
#include "support/TempDir.h"

namespace {

struct TNode {
    int depth = 0;
    std::string role, name, description;
};

// The value of a string field of one JSON line the probe prints.
std::string Field(const std::string& line, const std::string& key)
{
    const std::string marker = "\"" + key + "\": \"";
    std::size_t at = line.find(marker);
    if (at == std::string::npos)
        return {};
    std::string value;
    for (at += marker.size(); at < line.size() && line[at] != '"'; ++at) {
        if (line[at] == '\\' && at + 1 < line.size())
            ++at;
        value += line[at];
    }
    return value;
}

std::vector<TNode> Nodes(const std::string& output)
{
    std::vector<TNode> nodes;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("{", 0) == 0)
            nodes.push_back({std::atoi(line.c_str() + line.find(':') + 1), Field(line, "role"), Field(line, "name"),
                             Field(line, "description")});
    return nodes;
}

bool Has(const std::vector<TNode>& nodes, const std::string& role, const std::string& name,
         const std::string& description = "")
{
    for (const TNode& node : nodes)
        if ((role.empty() || node.role == role) && node.name == name &&
            (description.empty() || node.description == description))
            return true;
    return false;
}

TEST(StartAtSpi, AScreenReaderFindsTheCaptionTheEnginesAndTheirCount)
{
    TXServer x;
    if (!x.Running())
        GTEST_SKIP() << "no X server for the screen reader check: " << x.Failure();

    TempDir prefix("tenvarel-atspi");
    const TRun install = InstallInto(prefix.Path());
    ASSERT_EQ(install.status, 0) << install.output;

    std::vector<std::string> env = ProgramEnvironment();
    env.push_back("DISPLAY=" + x.Display());
    const TRun probe =
        RunProgram({"dbus-run-session", "--", TENVAREL_ATSPI_PROBE, prefix.File("Tenvarel"), "60"},
                   env, "", 90000);
    ASSERT_EQ(probe.status, 0) << probe.output;
    ASSERT_NE(probe.output.find("\nEND "), std::string::npos) << probe.output;
    const std::vector<TNode> nodes = Nodes(probe.output);

    EXPECT_TRUE(Has(nodes, "", "Tenvarel v1.0", "SubmitMain")) << probe.output;
    // The engine list's rows, as the cells of its table.
    std::vector<std::string> cells;
    int tableDepth = -1;
    for (const TNode& node : nodes) {
        if (tableDepth >= 0 && node.depth <= tableDepth)
            tableDepth = -1;
        if (node.description == "ExListView2" && node.role == "table")
            tableDepth = node.depth;
        else if (tableDepth >= 0 && node.depth == tableDepth + 1 && node.role.find("cell") != std::string::npos)
            cells.push_back(node.name);
    }
    for (const char* engine : {"Acorn Search", "Blue Directory", "Cedar Classifieds", "Delta Links FFA",
                               "Echo Free Links", "Fjord Batch Service", "Granite Market Ads", "Harbor Custom Search"})
        EXPECT_NE(std::find(cells.begin(), cells.end(), engine), cells.end()) << engine;
    EXPECT_EQ(std::find(cells.begin(), cells.end(), "TARVEN"), cells.end());
    EXPECT_TRUE(Has(nodes, "", "29", "TotalDis")) << probe.output;
}

}  // namespace
