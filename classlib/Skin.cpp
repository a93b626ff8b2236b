#include "classlib/Skin.h"

TSkinForm::TSkinForm(TComponent* AOwner) : TComponent(AOwner) {}
TSkinForm::~TSkinForm() = default;

TSkinButton::TSkinButton(TComponent* AOwner) : TComponent(AOwner) {}
TSkinButton::~TSkinButton() = default;
