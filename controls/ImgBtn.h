// A picture used as a button: it swaps among three pictures as the mouse
// enters, presses and leaves it; clicks come through OnClick.
#pragma once

#include <functional>
#include <memory>

#include "classlib/Controls.h"
#include "classlib/Graphics.h"
#include "classlib/Panels.h"

// --- the swapping, as a state machine ----------------------------------------------

enum class TImgBtnInput { MouseEnter, MouseLeave, LeftDown, LeftUp };
enum class TImgBtnShow { Unchanged, Pic, PicUp, PicDown };

struct TImgBtnState {
    bool Hovered = false;
    bool Pressed = false;
};

// Idle shows Pic, hovering PicUp, pressing PicDown; leaving while pressed
// shows Pic, and coming back while still pressed shows PicDown again.
TImgBtnShow ImgBtnStep(TImgBtnState& state, TImgBtnInput input);

// The look of a disabled button's picture: every pixel turned grey and faded
// halfway towards white, so the picture reads as switched off. In a
// transparent picture the pixels of its transparent colour stay as they are
// (and stay the only ones of that colour), so it stays see-through in the
// same places.
TBitmap GreyedImage(const TBitmap& picture);

// --- the control ----------------------------------------------------------------------

// While disabled the shown picture is painted greyed (GreyedImage); enabled,
// it is painted as it is.

// Receives the mouse message record, and no sender.
using TOnMouseEvent = std::function<void(TWMMouse& Msg)>;

class TImgBtn : public TImage {
public:
    explicit TImgBtn(TComponent* AOwner);
    ~TImgBtn() override;

    // The normal picture: setting it shows it at once. PicDown (pressed) and
    // PicUp (hovered) are only kept until the mouse asks for them. All three
    // are owned copies.
    TPicture* Pic() const { return FPic.get(); }
    void SetPic(const TPicture* value);
    TPicture* PicDown() const { return FPicDown.get(); }
    void SetPicDown(const TPicture* value) { FPicDown->Assign(value); }
    TPicture* PicUp() const { return FPicUp.get(); }
    void SetPicUp(const TPicture* value) { FPicUp->Assign(value); }
    // False turns all swapping and the four events below off.
    bool Supported() const { return FSupported; }
    void SetSupported(bool value) { FSupported = value; }

    bool Hovered() const { return FState.Hovered; }
    bool Pressed() const { return FState.Pressed; }

    // These hide the control's own mouse events of the same names.
    TOnMouseEvent OnMouseEnter;
    TOnMouseEvent OnMouseLeave;
    TOnMouseEvent OnMouseDown;
    TOnMouseEvent OnMouseUp;

    // A push button with a press action; its name is the Caption, or the Hint
    // when it has no caption.
    TAccessibleRole AccessibleRole() const override { return TAccessibleRole::PushButton; }
    CodePageString AccessibleName() const override;
    TAccessibleState AccessibleState() const override;
    std::vector<CodePageString> AccessibleActions() const override { return {AccessiblePressAction}; }
    void DoAccessibleAction(const CodePageString& action) override;

protected:
    void Paint() override;
    // Repaints in the other look; disabling also drops a hover or a press,
    // since a disabled button hears no more of the mouse.
    void EnabledChanged() override;
    void MouseEnter() override;
    void MouseLeave() override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

private:
    // Moves the state machine on and shows its picture, then passes the
    // input on to event as a mouse message; nothing where unsupported.
    void Step(TImgBtnInput input, unsigned msgId, TShiftState shift, int x, int y, const TOnMouseEvent& event);

    std::unique_ptr<TPicture> FPic;
    std::unique_ptr<TPicture> FPicDown;
    std::unique_ptr<TPicture> FPicUp;
    bool FSupported = true;
    TImgBtnState FState;
};
