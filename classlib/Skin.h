// The skin control of the forms. It keeps the skin file's name and source;
// window frames are the window system's own, so it draws nothing.
#pragma once

#include "classlib/Classes.h"

class TSkinForm : public TComponent {
public:
    explicit TSkinForm(TComponent* AOwner);
    ~TSkinForm() override;

    CodePageString SkinSource;  // the skin's data when it was stored with the form
    CodePageString SkinPath;    // the skin file to use
};

class TSkinButton : public TComponent {
public:
    explicit TSkinButton(TComponent* AOwner);
    ~TSkinButton() override;

    CodePageString SkinSource;
    CodePageString SkinPath;
};
