// The pictures of the installation that the windows draw for themselves: the
// image buttons' faces, the flashing glyphs of ImageList2 and the row images
// of ImageList1.
#pragma once

#include "classlib/Graphics.h"
#include "classlib/ImgList.h"

// The looks of one image button: at rest, under the mouse, pressed, and the
// bright face that the flashing hint alternates with the resting one.
enum class TButtonLook { Normal, Hover, Down, Flash };

inline constexpr int ButtonGlyphWidth = 80;
inline constexpr int ButtonGlyphHeight = 22;

TBitmap MakeButtonGlyph(const CodePageString& caption, TButtonLook look, int width = ButtonGlyphWidth,
                        int height = ButtonGlyphHeight);

// ImageList2: eight 80 x 22 glyphs in pairs, the even one at rest and the odd
// one bright: 0/1 Import, 2/3 Start (spider), 4/5 Start (ranking), 6/7 Submit.
void FillFlashGlyphs(TImageList& list);

// ImageList1: the row images of the engine list (16 x 16): 0 failed,
// 1 running, 2 succeeded, 3 timed out.
void FillRowImages(TImageList& list);

class TImgBtn;
// Gives an image button its three faces for caption, its size and its
// accessible name.
void DressImageButton(TImgBtn& button, const CodePageString& caption, int width = ButtonGlyphWidth,
                      int height = ButtonGlyphHeight);
class TComponent;
class TWinControl;
// An image button dressed for caption, placed on parent.
TImgBtn* PlaceButton(TComponent* owner, TWinControl* parent, const char* name, const CodePageString& caption, int left,
                     int top, int width = ButtonGlyphWidth);
// Puts glyph index of list on the button as both its shown and its normal picture.
void ShowButtonGlyph(TImgBtn& button, const TImageList& list, int index);
