// The custom engine wizard's fetch state: every step it takes is one its
// table lists, and one it does not list is reported with both ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Assertions.h"
#include "workbench/EngineFetch.h"

namespace {

using S = TEngineFetchState;

TEST(EngineFetch, StepsAreCheckedAgainstTheWizardsTable)
{
    struct TCase {
        std::vector<S> path;  // from Idle
        const char* report;   // nullptr: every step is listed
    };
    const TCase cases[] = {
        {{S::Fetching, S::Idle}, nullptr},                  // failed, stopped or too large
        {{S::Fetching, S::Analysing, S::Idle}, nullptr},    // fetched and analysed
        {{S::Analysing}, "custom engine fetch: no step from Idle to Analysing"},
        {{S::Fetching, S::Fetching}, "custom engine fetch: no step from Fetching to Fetching"},
        {{S::Idle}, "custom engine fetch: no step from Idle to Idle"},
    };
    for (const TCase& c : cases) {
        TEngineFetch fetch;
        TCaughtChecks caught;
        for (S to : c.path)
            fetch.Step(to);
        EXPECT_EQ(fetch.State(), c.path.back());
        if (c.report)
            EXPECT_EQ(caught.Checks, std::vector<std::string>{c.report});
        else
            EXPECT_TRUE(caught.Checks.empty()) << caught.Checks.front();
    }
    EXPECT_STREQ(TEngineFetch::Name(S::Analysing), "Analysing");
}

}  // namespace
