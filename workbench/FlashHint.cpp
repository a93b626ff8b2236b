#include "workbench/FlashHint.h"

#include <array>
#include <cstddef>

namespace {

constexpr const char* FlashTargetNames[] = {"None",         "ImportButton", "SpiderStart", "RankStart",
                                            "SubmitButton", "WizardImport", "ProjectList"};
constexpr std::size_t TargetCount = std::size(FlashTargetNames);

// Every piece of work may take the hint over from any other, since they run
// side by side: a page import during a submission run flashes the Import
// button from then on. A target is also pointed at again: it stays where it
// was after its work ended, and the next work of the same kind points it
// there once more; a submission run points at Submit for each project. The
// hint never goes back to None, except where the wizard's fetch could not
// start and it hands back a hint that was never pointed anywhere.
constexpr auto FlashSteps = [] {
    std::array<TStateStep<TFlashTarget>, (TargetCount - 1) * TargetCount + 1> steps{};
    std::size_t n = 0;
    for (std::size_t to = 1; to < TargetCount; ++to)
        for (std::size_t from = 0; from < TargetCount; ++from)
            steps[n++] = {static_cast<TFlashTarget>(from), static_cast<TFlashTarget>(to)};
    steps[n++] = {TFlashTarget::WizardImport, TFlashTarget::None};
    return steps;
}();

constexpr TStateTable<TFlashTarget> FlashTable{"flashing hint", FlashTargetNames, FlashSteps};

}  // namespace

const TFlashRule* FlashRuleOf(TFlashTarget target)
{
    for (const TFlashRule& rule : FlashRules)
        if (rule.Target == target)
            return &rule;
    return nullptr;
}

const char* FlashTargetName(TFlashTarget target)
{
    return StateName(FlashTable, target);
}

void TFlashHint::Show(TFlashTarget target)
{
    TENVAREL_STEP(FlashTable, FTarget, target);
}

const TStateTable<TFlashTarget>& TFlashHint::Steps()
{
    return FlashTable;
}
