// A list box with a check box on every line.
#pragma once

#include "classlib/BasicControls.h"

class TCheckListBox : public TCustomListBox {
public:
    explicit TCheckListBox(TComponent* AOwner);
    ~TCheckListBox() override;

    // EListError when index is out of range.
    bool Checked(int index) const { return State(index) == cbChecked; }
    void SetChecked(int index, bool checked) { SetState(index, checked ? cbChecked : cbUnchecked); }
    TCheckBoxState State(int index) const;
    void SetState(int index, TCheckBoxState state);
    bool ItemEnabled(int index) const;
    void SetItemEnabled(int index, bool enabled);
    bool AllowGrayed() const { return FAllowGrayed; }
    void SetAllowGrayed(bool v) { FAllowGrayed = v; }

    // The user changed a line's check box.
    TNotifyEvent OnClickCheck;

    // Internal: the toolkit reported a check change on a line.
    void HandleItemChanged(int index);

protected:
    void LineInserted(int index) override;
    void LineChanged(int index) override;
    virtual void ClickCheck();

private:
    void ShowLine(int index);
    bool FAllowGrayed = false;
    bool FShowing = false;
};
