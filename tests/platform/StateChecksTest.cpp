// The checked setter every state machine goes through: a listed step passes,
// an unlisted one is reported with its two ends and still taken, a self-step
// changes nothing, and a state the table does not name prints as "?".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/StateChecks.h"
#include "support/Assertions.h"

namespace {

enum class TLamp { Off, On, Blinking, Broken };

constexpr const char* LampNames[] = {"Off", "On", "Blinking"};  // Broken is left unnamed on purpose
constexpr TStateStep<TLamp> LampSteps[] = {
    {TLamp::Off, TLamp::On},
    {TLamp::On, TLamp::Off},
    {TLamp::On, TLamp::Blinking},
    {TLamp::Blinking, TLamp::Blinking},  // a listed self-step
};
constexpr TStateTable<TLamp> Lamp{"lamp", LampNames, LampSteps};

TEST(StateChecks, EveryStepIsCheckedAgainstTheTableAndReportedWithItsEnds)
{
    struct TCase {
        TLamp from, to;
        bool changed;
        const char* report;  // nullptr: the step is listed
    };
    const TCase cases[] = {
        {TLamp::Off, TLamp::On, true, nullptr},
        {TLamp::On, TLamp::Blinking, true, nullptr},
        {TLamp::Off, TLamp::Blinking, true, "lamp: no step from Off to Blinking"},  // still taken
        {TLamp::Off, TLamp::Off, false, "lamp: no step from Off to Off"},           // unlisted self-step
        {TLamp::Blinking, TLamp::Blinking, false, nullptr},                         // listed self-step
        {TLamp::On, TLamp::Broken, true, "lamp: no step from On to ?"},
    };
    for (const TCase& c : cases) {
        TLamp state = c.from;
        TCaughtChecks caught;
        const bool changed = TENVAREL_STEP(Lamp, state, c.to);
        EXPECT_EQ(changed, c.changed) << StateName(Lamp, c.from) << " -> " << StateName(Lamp, c.to);
        EXPECT_EQ(state, c.to);
        if (c.report)
            EXPECT_EQ(caught.Checks, std::vector<std::string>{c.report});
        else
            EXPECT_TRUE(caught.Checks.empty()) << caught.Checks.front();
    }
}

}  // namespace
