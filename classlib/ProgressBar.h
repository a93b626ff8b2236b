// The progress bar.
#pragma once

#include "classlib/Classes.h"
#include "classlib/Controls.h"

class TProgressBar : public TWinControl {
public:
    explicit TProgressBar(TComponent* AOwner);
    int Min() const { return FMin; }
    int Max() const { return FMax; }
    int Position() const { return FPosition; }
    void SetMin(int v);
    void SetMax(int v);
    void SetPosition(int v);  // kept within Min..Max
    int Step() const { return FStep; }
    void SetStep(int v) { FStep = v; }
    void StepIt() { SetPosition(FPosition + FStep); }
    void StepBy(int delta) { SetPosition(FPosition + delta); }
    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::ProgressBar; }

private:
    void Sync();
    int FMin = 0;
    int FMax = 100;
    int FPosition = 0;
    int FStep = 10;
};
