// The flashing hint: which control the main window's Timer1 makes flash, and
// the pair of ImageList2 glyphs a flashing button alternates between.
//
// The window's timer only asks the hint what to flash; whoever starts a piece
// of work (an import, a crawl, a ranking check, a submission run, the custom
// engine wizard's fetch) points the hint at its button through Show. Whether
// the timer runs is the window's business: a hint stays where it was pointed
// after the timer stops, until the next work points it elsewhere.
#pragma once

#include "platform/StateChecks.h"

enum class TFlashTarget { None, ImportButton, SpiderStart, RankStart, SubmitButton, WizardImport, ProjectList };

struct TFlashRule {
    TFlashTarget Target;
    int RestGlyph;
    int BrightGlyph;
};
inline constexpr TFlashRule FlashRules[] = {
    {TFlashTarget::ImportButton, 0, 1},  // Button3: fetch a page to import
    {TFlashTarget::SpiderStart, 2, 3},   // the spider window's Button1
    {TFlashTarget::RankStart, 4, 5},     // Button8: start the ranking check
    {TFlashTarget::SubmitButton, 6, 7},  // Button6: submit
    {TFlashTarget::WizardImport, 0, 1},  // the custom engine wizard's Button1
    {TFlashTarget::ProjectList, 0, 1},   // SesList: its font turns red and back
};
// The rule of a target; nullptr for None, which flashes nothing.
const TFlashRule* FlashRuleOf(TFlashTarget target);
// The glyph a flashing button shows next, from the one it shows now.
inline int NextFlashGlyph(const TFlashRule& rule, int shownGlyph)
{
    return shownGlyph == rule.BrightGlyph ? rule.RestGlyph : rule.BrightGlyph;
}

// The target's printable name ("ImportButton", ...).
const char* FlashTargetName(TFlashTarget target);

class TFlashHint {
public:
    TFlashTarget Target() const { return FTarget; }
    // Points the hint at a target. A step the hint's table does not list
    // fails a check that names both ends.
    void Show(TFlashTarget target);

    static const TStateTable<TFlashTarget>& Steps();

private:
    TFlashTarget FTarget = TFlashTarget::None;
};

// What a window other than the main one asks of the flashing: its button
// flashing while its work runs, put back as it was when the work could not
// start, and at rest when the work is over. The main window, which owns the
// hint and the timer, answers it.
class TFlashSwitch {
public:
    struct TState {
        TFlashTarget Target;
        bool Running;  // whether the timer flashes
    };
    virtual TState FlashState() const = 0;
    // Points the hint at the target and starts the flashing.
    virtual void StartFlashing(TFlashTarget target) = 0;
    // Back to a state FlashState gave.
    virtual void RestoreFlashing(TState state) = 0;
    // Stops the flashing and shows the target's button at rest.
    virtual void StopFlashing(TFlashTarget target) = 0;

protected:
    ~TFlashSwitch() = default;
};
